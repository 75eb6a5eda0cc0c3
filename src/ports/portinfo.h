#pragma once
// One local port slot of the helper's range: whether a line is bound to it, whether another
// program holds it, and which line it forwards through. Setters store and always notify.

#include <QObject>
#include <QPointer>
#include <QString>

class PortInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool qUsed READ getUsed WRITE setUsed NOTIFY usedChanged)
    Q_PROPERTY(bool qUsable READ getUsable WRITE setUsable NOTIFY usableChanged)
    Q_PROPERTY(int qPort READ getPort WRITE setPort NOTIFY portChanged)
    Q_PROPERTY(QString qPlanType READ getPlanType WRITE setPlanType NOTIFY planTypeChanged)
    Q_PROPERTY(uint qOperateTime READ getOperateTime WRITE setOperateTime NOTIFY operateTimeChanged)
    Q_PROPERTY(QObject* qLineInfo READ getLineInfo WRITE setLineInfo NOTIFY lineInfoChanged)
public:
    explicit PortInfo(int port = 0, QObject* parent = nullptr);

    bool getUsed() const { return m_used; }
    bool getUsable() const { return m_usable; }
    int getPort() const { return m_port; }
    QString getPlanType() const { return m_planType; }
    uint getOperateTime() const { return m_operateTime; }
    // The bound line; it belongs to the lists that hold it, never to the slot. A line that has
    // been released reads as none.
    QObject* getLineInfo() const { return m_lineInfo.data(); }

    void setUsed(bool value);
    void setUsable(bool value);
    void setPort(int value);
    void setPlanType(const QString& value);
    void setOperateTime(uint value);
    void setLineInfo(QObject* value);

    // No line any more: used false, plan type empty, bound line none (operate time kept).
    void clear();

signals:
    void usedChanged();
    void usableChanged();
    void portChanged();
    void lineInfoChanged();
    void planTypeChanged();
    void operateTimeChanged();

private:
    bool m_used = false;
    bool m_usable = true;
    int m_port = 0;
    QString m_planType;
    uint m_operateTime = 0;
    QPointer<QObject> m_lineInfo;
};
