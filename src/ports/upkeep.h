#pragma once
// Keeping the bindings honest over time: the local event pass releases ports whose bindings have
// run out (six hours for S5, a day for the others, the unlimited plan's expiry) or that a range
// change left behind, and reconciliation brings the lists and the port table in line with what
// the helper really forwards.

#include "formfields.h"

#include <QJsonObject>
#include <QObject>

namespace zq {
class ServiceAddresses;
}
namespace zq::lists {
class SavedLists;
}

namespace zq::ports {

class PortBindings;
class PortTable;

class Upkeep : public QObject {
    Q_OBJECT
public:
    // All four outlive this object.
    Upkeep(PortTable* ports, zq::lists::SavedLists* lists, PortBindings* bindings,
        const zq::ServiceAddresses* addresses, QObject* parent = nullptr);

    void setPoster(zq::catalogue::Poster poster) { m_post = std::move(poster); }

    void doLocalEvent();
    void compareIpAndPortState();
    void dealCompareIpAndPortState(const QJsonObject& reply);

private:
    void expireSlots(qint64 now, qint64 expiry);
    void releaseOutOfRange(qint64 now, qint64 expiry);

    PortTable* m_ports;
    zq::lists::SavedLists* m_lists;
    PortBindings* m_bindings;
    const zq::ServiceAddresses* m_addresses;
    zq::catalogue::Poster m_post;
};

} // namespace zq::ports
