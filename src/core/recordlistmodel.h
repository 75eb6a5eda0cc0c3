#pragma once
// A list model over QObject records of one type, for the QML views. One role per property of the
// record type, named as QML names it (qIp, qPing, ...). Properties that point at other objects get
// no role, and the record itself is asked for with get(row): a view must never keep a copy of a
// pointer that outlives the object.
//
// The model never owns a record: it holds each one weakly, and the row of a record that its owner
// deletes goes at once. A refresh compares the new records with the rows by their key property
// (qIp for lines) and reports only what changed: removed, inserted and moved rows, and rows whose
// record was replaced or changed a property. So a view keeps its current row across a refresh.

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QVector>
#include <functional>

class RecordListModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    // type: the records' class; keyProperty: the property that tells records apart.
    RecordListModel(const QMetaObject& type, const QByteArray& keyProperty, QObject* parent = nullptr);

    // Where refresh() reads the records from: the list of the records' owner.
    void setSource(std::function<QList<QObject*>()> source) { m_source = std::move(source); }

    // Shows the owner's list again (through the source).
    Q_INVOKABLE void refresh();
    // Shows these records (a search result), in this order.
    Q_INVOKABLE void show(const QList<QObject*>& records);

    // The record of a row; null past the end or once deleted.
    Q_INVOKABLE QObject* get(int row) const;
    // The first row whose key is key, or -1.
    Q_INVOKABLE int indexOf(const QString& key) const;
    Q_INVOKABLE QString keyAt(int row) const;
    QList<QObject*> records() const;
    int count() const { return m_rows.size(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private slots:
    void recordChanged();

private:
    struct Row {
        QPointer<QObject> record;
        // Only compared, never used to reach the object (it may be gone).
        const QObject* address = nullptr;
        QString key;
        // key plus its occurrence among equal keys: what rows are matched by.
        QString identity;
    };
    Row rowFor(QObject* record, QHash<QString, int>& seen) const;
    void watch(QObject* record);
    void unwatch(QObject* record);
    void recordDestroyed(QObject* record);

    const QMetaObject& m_type;
    QByteArray m_keyProperty;
    std::function<QList<QObject*>()> m_source;
    QList<Row> m_rows;
    QHash<int, QByteArray> m_roleNames;
    // Roles whose value a notify signal announces, by signal index.
    QHash<int, QVector<int>> m_signalRoles;
};
