#pragma once
// The six per-account lists of saved lines (a today list and a favourite list per plan) and
// their files in the data folder: codec-scrambled compact JSON arrays of nineteen-key objects.
//
// Ownership: every record in a saved list is a child of this object, and only this object
// deletes it. A record may sit in several owners' lists at once (today, favourite, a line list)
// and show on a port slot; whoever drops it from a list calls release(), which deletes it later
// only when none of these is left (see setRetainCheck). Views, the port-forward view and today
// search results hold records by QPointer and are never asked.

#include "linerecords.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class PayloadCodec;
class PortInfo;
class ProxyServerInfo;

namespace zq::ports {
class PortTable;
}

namespace zq::lists {

using zq::catalogue::Plan;

enum class Kind { Today, Favourite };

class SavedLists : public QObject {
    Q_OBJECT
public:
    // codec outlives the lists; dataDir is configDir.
    SavedLists(const PayloadCodec* codec, const QString& dataDir, QObject* parent = nullptr);
    ~SavedLists() override;

    QList<QObject*>& list(Kind kind, Plan plan) { return m_lists[index(kind, plan)]; }
    const QList<QObject*>& list(Kind kind, Plan plan) const { return m_lists[index(kind, plan)]; }

    // "_todayList.json", "_favouriteResidentTrafficList.json", ...
    static QString suffix(Kind kind, Plan plan);
    // The Controller's name of a list, as log lines use it ("proxyTodayServerInfoList", ...).
    static QString listName(Kind kind, Plan plan);
    // dataDir + "/" + user name + suffix.
    QString filePath(Kind kind, Plan plan, const QString& userName) const;

    // The list-file writer: duplicates by IP dropped (first wins), written whole through a
    // temporary file so a failed write leaves the old file as it was. On failure emits
    // proxyClientMessage(path + "File save err:" + error) and returns false.
    bool saveJsonFile(const QList<QObject*>& list, const QString& path);
    // Writes one list to the signed-in account's file (UserInfo user name).
    bool save(Kind kind, Plan plan);

    // Appends the records of dataDir + "/" + fileName to the list (never empties it first),
    // re-attaching lines still bound to a port of the port table, with each reader's rules.
    // False when the file cannot be opened. A file that cannot be decoded is renamed aside
    // (fileName + ".damaged-" + time) before any later save could overwrite it.
    bool read(Kind kind, Plan plan, const QString& fileName);
    // Empties the four lists read at start-up and reads them for userName, in start-up order.
    void reloadForAccount(const QString& userName);

    // The port table the readers re-attach lines to; may be null (no attachment).
    void setPortTable(zq::ports::PortTable* table) { m_ports = table; }
    // Holders besides the six lists (line lists, port slots, views); a released record that one
    // of them still holds is kept.
    void setRetainCheck(std::function<bool(QObject*)> check) { m_retain = std::move(check); }
    // Whether any of the six lists holds the record.
    bool holds(const QObject* record) const;
    // Deletes (later) each record that no list and no other holder keeps. Safe to call twice.
    void release(const QList<QObject*>& records);
    // Takes a record created elsewhere (a line list) into this object's ownership.
    void adopt(ProxyServerInfo* record);

signals:
    void proxyClientMessage(QString msg);

private:
    static int index(Kind kind, Plan plan) { return int(kind) * 3 + int(plan); }
    // Binds the record to the first slot of its port while the binding is younger than window.
    PortInfo* attach(ProxyServerInfo* record, qint64 window, const QString& planWord, qint64 now);

    const PayloadCodec* m_codec;
    QString m_dataDir;
    QList<QObject*> m_lists[6];
    zq::ports::PortTable* m_ports = nullptr;
    std::function<bool(QObject*)> m_retain;
    // Records released and not yet destroyed.
    QSet<QObject*> m_releasing;
};

} // namespace zq::lists
