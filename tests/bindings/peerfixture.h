#pragma once
// The real peers of a binding test: zq-service on free loopback ports, a free port range for the
// helper, and curl through a bound port to the service's address echo.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

namespace peers {

// zq-service started on port 0; base() is its HTTP address.
class Service {
public:
    bool start(const QString& stateFile)
    {
        m_process.setProgram(QStringLiteral(ZQ_BIN_DIR "/zq-service"));
        m_process.setArguments({ "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--state", stateFile });
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        if (!QTest::qWaitFor([this]() { return m_process.canReadLine(); }, 10000))
            return false;
        const QString first = QString::fromUtf8(m_process.readLine()).trimmed();
        const QRegularExpressionMatch m = QRegularExpression("^listening (http://\\S+) exit").match(first);
        if (!m.hasMatch())
            return false;
        m_base = m.captured(1);
        qputenv("ZQ_ACCOUNT_BASE", m_base.toUtf8());
        qputenv("ZQ_RESOURCE_BASE", m_base.toUtf8());
        return true;
    }
    ~Service()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QString base() const { return m_base; }

private:
    QProcess m_process;
    QString m_base;
};

// `count` consecutive ports nobody listens on, away from the ranges other suites use.
inline int freeRange(int count)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int start = 21000 + int((QCoreApplication::applicationPid() * 37 + attempt * 97) % 30000);
        bool free = true;
        for (int p = start; p < start + count && free; ++p) {
            QTcpServer probe;
            free = probe.listen(QHostAddress::Any, quint16(p));
        }
        if (free)
            return start;
    }
    return 0;
}

struct Curl {
    int exitCode = -1;
    QByteArray out;
};

// POSTs to the service's address echo through the SOCKS5 port, names resolved by the proxy.
// Runs asynchronously so that the event loop (and the client under test) keeps going.
inline Curl curlThrough(int socksPort, const QString& serviceBase, int maxSeconds = 10)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"),
        { "-s", "-S", "--max-time", QString::number(maxSeconds), "--socks5-hostname",
            QStringLiteral("127.0.0.1:%1").arg(socksPort), "-F", "probe=1", serviceBase + "/api/check/ip" });
    Curl result;
    if (!curl.waitForStarted(5000))
        return result;
    (void)QTest::qWaitFor([&curl]() { return curl.state() == QProcess::NotRunning; }, (maxSeconds + 5) * 1000);
    result.exitCode = curl.exitStatus() == QProcess::NormalExit ? curl.exitCode() : -1;
    result.out = curl.readAllStandardOutput();
    return result;
}

// The exit address the service saw, or empty when the transfer failed.
inline QString exitIpThrough(int socksPort, const QString& serviceBase)
{
    const Curl c = curlThrough(socksPort, serviceBase);
    if (c.exitCode != 0)
        return QString();
    return QJsonDocument::fromJson(c.out).object().value("ret_data").toObject().value("ip").toString();
}

} // namespace peers
