#pragma once
// The local port range [start port, start port + port count) as one PortInfo slot per port:
// building and resizing it, telling which ports other programs hold, validating a new range
// and describing it to the user.
//
// Ownership: the table owns its slots (its children) and deletes them when the range drops them;
// whoever else shows a slot (the port-forward view, a view model) holds a QPointer and finds it
// gone. A slot only points at its line, weakly (see PortInfo::getLineInfo); lines belong to the
// lists that hold them.

#include "portinfo.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace zq::ports {

class PortTable : public QObject {
    Q_OBJECT
public:
    explicit PortTable(QObject* parent = nullptr);

    int startPort() const { return m_startPort; }
    int portNum() const { return m_portNum; }
    void setStartPort(int value) { m_startPort = value; }
    void setPortNum(int value) { m_portNum = value; }
    // Ports of the helper's API and of the per-program proxy: never offered for binding.
    void setReservedPorts(int apiPort, int programPort);
    int apiPort() const { return m_apiPort; }
    int programPort() const { return m_programPort; }
    // The process id of this client's own helper (0 while none runs); without it the helper
    // is looked up by name.
    void setHelperPid(std::function<qint64()> pid) { m_helperPid = std::move(pid); }

    // The slots, ascending by port.
    const QList<PortInfo*>& list() const { return m_slots; }
    QList<QObject*> objects() const;

    // Builds the slots for the current range. A table whose first port is still the start port
    // only grows or shrinks at its end; otherwise every slot is new, and a new slot shows the
    // today line bound to its port (an "S5Unlimited" line before an "S5" one).
    void createPortInfoList(const QList<QObject*>& todayS5, const QList<QObject*>& todayUnlimited);
    // Marks ports held by other programs (and the two reserved ports) as unusable.
    void refreshPortUsability();

    // For a new range typed by the user: the refusal text, or empty when start and value are
    // acceptable. Texts that are not numbers count as 0.
    static QString rangeError(const QString& start, const QString& value);
    // Port by port, which ports of [start, start + count) another program holds.
    static QString usageReport(int start, int count);
    // "1000-1099" for the current range while it is valid, else the last valid text.
    QString getPortRange();
    // Whether port lies in the current range.
    bool inRange(int port) const;

    // First slot of that port, or null.
    PortInfo* slotFor(int port) const;
    // The first slot that is free, usable and not the program port; null when the range is full.
    PortInfo* firstFreeSlot() const;
    // Whether some slot shows this line.
    bool holds(const QObject* line) const;

private:
    PortInfo* newSlot(int port, bool reservedTest);
    void attachToday(PortInfo* slot, const QList<QObject*>& todayS5, const QList<QObject*>& todayUnlimited, int index);

    QList<PortInfo*> m_slots;
    int m_startPort;
    int m_portNum;
    int m_apiPort = 0;
    int m_programPort = 0;
    QString m_rangeText;
    std::function<qint64()> m_helperPid;
};

} // namespace zq::ports
