// The views' list model: roles from the record type, refreshes reported as the rows that changed,
// records held weakly (a deleted record's row goes, nothing reaches it).
#include "recordlistmodel.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

// A record as the lists hold them: a key and a value, both notified.
class Item : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString qIp READ ip WRITE setIp NOTIFY ipChanged)
    Q_PROPERTY(int qPing READ ping WRITE setPing NOTIFY pingChanged)
public:
    explicit Item(const QString& ip, int ping = 0, QObject* parent = nullptr)
        : QObject(parent)
        , m_ip(ip)
        , m_ping(ping)
    {
    }
    QString ip() const { return m_ip; }
    int ping() const { return m_ping; }
    void setIp(const QString& v)
    {
        m_ip = v;
        emit ipChanged();
    }
    void setPing(int v)
    {
        m_ping = v;
        emit pingChanged();
    }
signals:
    void ipChanged();
    void pingChanged();

private:
    QString m_ip;
    int m_ping;
};

class TestRecordListModel : public QObject {
    Q_OBJECT
private slots:
    void rolesAreThePropertyNames();
    void refreshReportsOnlyWhatChanged_data();
    void refreshReportsOnlyWhatChanged();
    void replacedRecordOfTheSameKey();
    void propertyChangeIsARowChange();
    void deletedRecordsLeaveNoRow();
    void equalKeysAndStrayEntries();

private:
    QList<QObject*> items(const QString& ips);
    static QString keys(const RecordListModel& model);
    QObject m_owner;
    QHash<QString, Item*> m_items;
};

QList<QObject*> TestRecordListModel::items(const QString& ips)
{
    QList<QObject*> out;
    for (const QString& ip : ips.split(' ', Qt::SkipEmptyParts)) {
        if (!m_items.contains(ip))
            m_items.insert(ip, new Item(ip, 0, &m_owner));
        out << m_items.value(ip);
    }
    return out;
}

QString TestRecordListModel::keys(const RecordListModel& model)
{
    QStringList out;
    for (int i = 0; i < model.rowCount(); ++i)
        out << model.keyAt(i);
    return out.join(' ');
}

void TestRecordListModel::rolesAreThePropertyNames()
{
    RecordListModel model(Item::staticMetaObject, "qIp");
    const QHash<int, QByteArray> roles = model.roleNames();
    QVERIFY(roles.values().contains("qIp"));
    QVERIFY(roles.values().contains("qPing"));
    QVERIFY(!roles.values().contains("objectName"));

    Item a("10.0.0.1", 42);
    model.show({ &a });
    const QModelIndex row = model.index(0);
    QCOMPARE(model.data(row, roles.key("qPing")).toInt(), 42);
    QCOMPARE(model.data(row, roles.key("qIp")).toString(), QStringLiteral("10.0.0.1"));
    QVERIFY(!model.data(row, Qt::DisplayRole).isValid());
    QVERIFY(!model.data(model.index(1), roles.key("qIp")).isValid());
    QCOMPARE(model.get(0), &a);
    QCOMPARE(model.get(1), nullptr);
    QCOMPARE(model.indexOf("10.0.0.1"), 0);
    QCOMPARE(model.indexOf("10.0.0.9"), -1);
}

void TestRecordListModel::refreshReportsOnlyWhatChanged_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("moved");

    QTest::newRow("same") << "a b c"
                          << "a b c" << 0 << 0 << 0;
    QTest::newRow("one in front") << "a b c"
                                  << "n a b c" << 1 << 0 << 0;
    QTest::newRow("one gone") << "a b c"
                              << "a c" << 0 << 1 << 0;
    QTest::newRow("one to the front") << "a b c"
                                      << "c a b" << 0 << 0 << 1;
    QTest::newRow("reversed") << "a b c d"
                              << "d c b a" << 0 << 0 << 3;
    QTest::newRow("mixed") << "a b c d"
                           << "e d b f" << 2 << 2 << 1;
    QTest::newRow("from empty") << ""
                                << "a b" << 2 << 0 << 0;
    QTest::newRow("to empty") << "a b"
                              << "" << 0 << 2 << 0;
}

void TestRecordListModel::refreshReportsOnlyWhatChanged()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QList<QObject*> source = items(before);
    RecordListModel model(Item::staticMetaObject, "qIp");
    model.setSource([&source]() { return source; });
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.refresh();
    QCOMPARE(keys(model), before);

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    source = items(after);
    model.refresh();
    QCOMPARE(keys(model), after);
    QTEST(int(inserted.count()), "inserted");
    QTEST(int(removed.count()), "removed");
    QTEST(int(moved.count()), "moved");
    QCOMPARE(reset.count(), 0);
    QCOMPARE(changed.count(), 0);
    for (int i = 0; i < model.rowCount(); ++i)
        QCOMPARE(model.get(i), source.at(i));
}

void TestRecordListModel::replacedRecordOfTheSameKey()
{
    // The owner replaced a line by a new record of the same IP: one row changes, none moves.
    Item a("a"), b("b"), b2("b", 7);
    RecordListModel model(Item::staticMetaObject, "qIp");
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.show({ &a, &b });
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.show({ &a, &b2 });
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
    QCOMPARE(model.get(1), &b2);
    // The replaced record is no longer watched.
    changed.clear();
    b.setPing(3);
    QCOMPARE(changed.count(), 0);
}

void TestRecordListModel::propertyChangeIsARowChange()
{
    Item a("a"), b("b");
    RecordListModel model(Item::staticMetaObject, "qIp");
    model.show({ &a, &b });
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    b.setPing(9);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex().row(), 1);
    const int ping = model.roleNames().key("qPing");
    QCOMPARE(changed.first().at(2).value<QVector<int>>(), QVector<int>({ ping }));
    // A record that got its address is found by the new one.
    a.setIp("a2");
    QCOMPARE(model.indexOf("a2"), 0);
    QCOMPARE(model.indexOf("a"), -1);
}

void TestRecordListModel::deletedRecordsLeaveNoRow()
{
    auto* a = new Item("a");
    auto* b = new Item("b");
    auto* c = new Item("c");
    RecordListModel model(Item::staticMetaObject, "qIp");
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.show({ a, b, c });
    QSignalSpy count(&model, &RecordListModel::countChanged);

    // Deleted at once and later (as owners do): the rows go, every role of the rest reads.
    delete b;
    QCOMPARE(keys(model), QStringLiteral("a c"));
    a->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(keys(model), QStringLiteral("c"));
    QCOMPARE(count.count(), 2);
    for (int role : model.roleNames().keys())
        model.data(model.index(0), role);
    QCOMPARE(model.records(), QList<QObject*>({ c }));

    // A refresh from a source that still names nothing deleted works as before.
    model.show({ c });
    QCOMPARE(model.rowCount(), 1);
    delete c;
    QCOMPARE(model.rowCount(), 0);
}

void TestRecordListModel::equalKeysAndStrayEntries()
{
    // Two lines waiting for an address share a key; other objects and nulls are no rows.
    Item w1("0.0.0.0"), w2("0.0.0.0"), a("a");
    QObject stray;
    RecordListModel model(Item::staticMetaObject, "qIp");
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.show({ &w1, nullptr, &stray, &w2, &a });
    QCOMPARE(keys(model), QStringLiteral("0.0.0.0 0.0.0.0 a"));
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.show({ &w1, &a });
    QCOMPARE(removed.count(), 1);
    QCOMPARE(model.records(), QList<QObject*>({ &w1, &a }));
    // The same record twice is two rows, both changed by one property change.
    model.show({ &a, &a });
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    a.setPing(1);
    QCOMPARE(changed.count(), 2);
}

QTEST_MAIN(TestRecordListModel)
#include "test_recordlistmodel.moc"
