#pragma once
// The port-forward view: every bound today line on its port, then the port table's other slots,
// one entry per port; the bound addresses as text; and the helper's bulk-binding link.
//
// Ownership: the entries made for today lines belong to this object, which deletes them when the
// next build replaces them. The view only points at port-table slots (the table deletes them when
// the range drops them) and at lines (their lists own them), both weakly.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class PortInfo;

namespace zq::lists {
class SavedLists;
}

namespace zq::ports {

class PortTable;

class PortForward : public QObject {
    Q_OBJECT
public:
    // list is the view's list (owned by the binding work, which clears it on releases).
    PortForward(PortTable* ports, const zq::lists::SavedLists* lists, QList<QPointer<PortInfo>>* list,
        QObject* parent = nullptr);

    // Rebuilds the view. Entries made for today lines belong to this object; those of the
    // previous build are deleted once control returns to the event loop.
    QList<QObject*> getPortForwordList();
    // "localIp:port\n" for every used entry of the last build except the program port.
    QString getCopyAllInfo(const QString& localIp, int programPort) const;

    // The helper's bulk-binding link; every value is percent-encoded, empty places are "random".
    // The last item, key, is what the helper asks of callers on the LAN (apiLinkKey).
    static QString createApiLink(const QString& localIp, int apiPort, const QString& country, const QString& state,
        const QString& city, const QString& zip, const QString& isp, const QString& num, const QString& startPort,
        const QString& dataType, const QString& startIP, const QString& endIP, const QString& key);

    // The link's key: lower-case hex MD5 of the UTF-8 text sessionId + "|" + unionId, both as
    // passed to the helper at its start (its -sessionid= and -uuid= values), which the helper
    // holds for its whole life.
    static QString apiLinkKey(const QString& sessionId, const QString& unionId);

private:
    PortTable* m_ports;
    const zq::lists::SavedLists* m_lists;
    QList<QPointer<PortInfo>>* m_list;
    QList<PortInfo*> m_made;
};

} // namespace zq::ports
