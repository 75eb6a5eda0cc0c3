#include "recordlistmodel.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <QSet>

RecordListModel::RecordListModel(const QMetaObject& type, const QByteArray& keyProperty, QObject* parent)
    : QAbstractListModel(parent)
    , m_type(type)
    , m_keyProperty(keyProperty)
{
    for (int i = type.propertyOffset(); i < type.propertyCount(); ++i) {
        const QMetaProperty property = type.property(i);
        if (QMetaType::typeFlags(property.userType()) & QMetaType::PointerToQObject)
            continue;
        const int role = Qt::UserRole + (i - type.propertyOffset());
        m_roleNames.insert(role, property.name());
        if (property.hasNotifySignal())
            m_signalRoles[property.notifySignalIndex()].append(role);
    }
    for (auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved })
        connect(this, signal, this, &RecordListModel::countChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &RecordListModel::countChanged);
}

void RecordListModel::refresh()
{
    show(m_source ? m_source() : QList<QObject*>());
}

RecordListModel::Row RecordListModel::rowFor(QObject* record, QHash<QString, int>& seen) const
{
    Row row;
    row.record = record;
    row.address = record;
    row.key = record->property(m_keyProperty.constData()).toString();
    row.identity = row.key + QLatin1Char('\x1f') + QString::number(seen[row.key]++);
    return row;
}

void RecordListModel::show(const QList<QObject*>& records)
{
    QHash<QString, int> seen;
    QList<Row> target;
    QSet<QString> wanted;
    for (QObject* record : records) {
        // Only records of this model's type (a stray entry would make every role read empty).
        if (!record || !record->metaObject()->inherits(&m_type))
            continue;
        target.append(rowFor(record, seen));
        wanted.insert(target.constLast().identity);
    }
    QSet<QObject*> before;
    for (const Row& row : qAsConst(m_rows))
        before.insert(row.record.data());

    for (int i = m_rows.size() - 1; i >= 0; --i) {
        if (wanted.contains(m_rows.at(i).identity))
            continue;
        beginRemoveRows(QModelIndex(), i, i);
        m_rows.removeAt(i);
        endRemoveRows();
    }
    for (int i = 0; i < target.size(); ++i) {
        const Row& want = target.at(i);
        if (i >= m_rows.size() || m_rows.at(i).identity != want.identity) {
            int from = -1;
            for (int j = i + 1; j < m_rows.size() && from < 0; ++j) {
                if (m_rows.at(j).identity == want.identity)
                    from = j;
            }
            if (from < 0) {
                beginInsertRows(QModelIndex(), i, i);
                m_rows.insert(i, want);
                endInsertRows();
                continue;
            }
            beginMoveRows(QModelIndex(), from, from, QModelIndex(), i);
            m_rows.move(from, i);
            endMoveRows();
        }
        if (m_rows.at(i).address != want.address) {
            m_rows[i] = want;
            emit dataChanged(index(i), index(i));
        }
    }

    QSet<QObject*> after;
    for (const Row& row : qAsConst(m_rows))
        after.insert(row.record.data());
    for (QObject* record : qAsConst(before)) {
        if (record && !after.contains(record))
            unwatch(record);
    }
    for (QObject* record : qAsConst(after)) {
        if (!before.contains(record))
            watch(record);
    }
}

void RecordListModel::watch(QObject* record)
{
    connect(record, &QObject::destroyed, this, &RecordListModel::recordDestroyed, Qt::UniqueConnection);
    const QMetaMethod changed = staticMetaObject.method(staticMetaObject.indexOfSlot("recordChanged()"));
    for (auto it = m_signalRoles.cbegin(); it != m_signalRoles.cend(); ++it)
        connect(record, record->metaObject()->method(it.key()), this, changed, Qt::UniqueConnection);
}

void RecordListModel::unwatch(QObject* record)
{
    disconnect(record, nullptr, this, nullptr);
}

void RecordListModel::recordDestroyed(QObject* record)
{
    for (int i = m_rows.size() - 1; i >= 0; --i) {
        if (m_rows.at(i).address != record)
            continue;
        beginRemoveRows(QModelIndex(), i, i);
        m_rows.removeAt(i);
        endRemoveRows();
    }
}

void RecordListModel::recordChanged()
{
    QObject* record = sender();
    const QVector<int> roles = m_signalRoles.value(senderSignalIndex());
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).address != record)
            continue;
        // A new key (a line that got its address) is what indexOf finds from now on.
        m_rows[i].key = record->property(m_keyProperty.constData()).toString();
        emit dataChanged(index(i), index(i), roles);
    }
}

QObject* RecordListModel::get(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).record.data() : nullptr;
}

int RecordListModel::indexOf(const QString& key) const
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).key == key)
            return i;
    }
    return -1;
}

QString RecordListModel::keyAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).key : QString();
}

QList<QObject*> RecordListModel::records() const
{
    QList<QObject*> out;
    out.reserve(m_rows.size());
    for (const Row& row : m_rows)
        out.append(row.record.data());
    return out;
}

int RecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    QObject* record = m_rows.at(index.row()).record.data();
    if (!record)
        return QVariant();
    if (!m_roleNames.contains(role))
        return QVariant();
    const int property = m_type.propertyOffset() + role - Qt::UserRole;
    return m_type.property(property).read(record);
}

QHash<int, QByteArray> RecordListModel::roleNames() const
{
    return m_roleNames;
}
