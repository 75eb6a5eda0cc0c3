#pragma once
// The newest program version the service offers. Only the Controller writes it.

#include <QObject>
#include <QString>

class UpdateInfo : public QObject {
    Q_OBJECT
public:
    static UpdateInfo* instance();

    Q_INVOKABLE bool getForceUpate() const { return m_forceUpdate; }
    Q_INVOKABLE bool getIsNeedUpdate() const { return m_isNeedUpdate; }
    Q_INVOKABLE QString getDesc() const { return m_desc; }
    Q_INVOKABLE QString getVersion() const { return m_version; }
    Q_INVOKABLE QString getShowVersion() const { return m_showVersion; }
    Q_INVOKABLE QString getDownloadPath() const { return m_downloadPath; }
    Q_INVOKABLE QString getDownUrl() const { return m_downUrl; }

    void setForceUpdate(bool v) { m_forceUpdate = v; }
    void setIsNeedUpdate(bool v) { m_isNeedUpdate = v; }
    void setDesc(const QString& v) { m_desc = v; }
    void setVersion(const QString& v) { m_version = v; }
    void setShowVersion(const QString& v) { m_showVersion = v; }
    void setDownloadPath(const QString& v) { m_downloadPath = v; }
    void setDownUrl(const QString& v) { m_downUrl = v; }

private:
    UpdateInfo() = default;

    bool m_forceUpdate = false;
    bool m_isNeedUpdate = false;
    QString m_desc;
    QString m_version = QStringLiteral("100");
    QString m_showVersion = QStringLiteral("1.0.0");
    QString m_downloadPath;
    QString m_downUrl;
};
