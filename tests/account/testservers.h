#pragma once
// Servers the account tests talk to over loopback: the real zq-service, and a scripted HTTP
// server for replies the service never gives (silence, error statuses, broken bodies).

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

// Every log line of the process, for tests that check what was logged.
class LogCapture {
public:
    LogCapture()
    {
        s_lines.clear();
        s_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(s_previous); }

    static bool contains(const QString& text)
    {
        for (const QString& line : s_lines)
            if (line.contains(text))
                return true;
        return false;
    }
    static int count(const QString& text)
    {
        int n = 0;
        for (const QString& line : s_lines)
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    static void clear() { s_lines.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        s_lines.append(message);
        if (type != QtDebugMsg && s_previous)
            s_previous(type, context, message);
    }
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

// One HTTP request as the scripted server received it.
struct ReceivedRequest {
    QByteArray method;
    QByteArray path;
    QList<QPair<QByteArray, QByteArray>> headers; // in arrival order
    QByteArray body;

    QByteArray header(const QByteArray& name) const
    {
        for (const auto& h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        return {};
    }
};

// What the scripted server answers for one path.
struct ScriptedReply {
    int status = 200;
    QByteArray body;
    bool silent = false; // never answer
    qint64 declaredLength = -1; // Content-Length to announce, when it differs from the body
};

class ScriptedServer : public QObject {
    Q_OBJECT
public:
    ScriptedServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &ScriptedServer::accept);
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void script(const QByteArray& path, const ScriptedReply& reply) { m_replies.insert(path, reply); }
    void script(const QByteArray& path, const QByteArray& json) { m_replies.insert(path, ScriptedReply { 200, json }); }

    QList<ReceivedRequest> requests;
    // Connections held open by silent replies; tests may answer them late.
    QList<QPointer<QTcpSocket>> held;

    static void answer(QTcpSocket* socket, const ScriptedReply& reply)
    {
        const qint64 length = reply.declaredLength >= 0 ? reply.declaredLength : reply.body.size();
        QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\n";
        out += "Content-Type: application/json\r\nConnection: close\r\n";
        out += "Content-Length: " + QByteArray::number(length) + "\r\n\r\n" + reply.body;
        socket->write(out);
        socket->flush();
        socket->disconnectFromHost();
    }

private slots:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { read(socket); });
        }
    }

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        ReceivedRequest request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        qint64 length = 0;
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.append({ name, value });
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = value.toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return; // the body is still on its way
        request.body = buffer.mid(end + 4, int(length));
        m_buffers.remove(socket);
        requests.append(request);

        const QByteArray path = request.path.split('?').value(0);
        const ScriptedReply reply = m_replies.value(path, ScriptedReply { 404, "{}" });
        if (reply.silent)
            held.append(socket);
        else
            answer(socket, reply);
    }

    QTcpServer m_server;
    QHash<QByteArray, ScriptedReply> m_replies;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

// A zq-service of its own on a free port, with the data the tests expect.
class ServiceProcess {
public:
    static constexpr const char* kInstaller = "installer bytes of version 2.0.8\n";

    // Fails the calling test when the service cannot be started.
    bool start()
    {
        const QString program = QStringLiteral(ZQ_BIN_DIR) + QStringLiteral("/zq-service");
        if (!QFile::exists(program)) {
            qWarning("zq-service not found at %s: build the whole tree first", qPrintable(program));
            return false;
        }
        QFile installer(m_dir.filePath(QStringLiteral("installer.bin")));
        installer.open(QIODevice::WriteOnly);
        installer.write(QByteArray(kInstaller).repeated(2000)); // large enough for several progress reports
        installer.close();
        QFile data(m_dir.filePath(QStringLiteral("service.json")));
        data.open(QIODevice::WriteOnly);
        data.write(R"({
  "accounts": [
    {"uid": 1001, "username": "demo", "password": "demo123", "email": "demo@example.test",
     "server": "s1", "ip_nums": 7, "expire_time": 4102444800,
     "flow": {"balance": -1500, "all_buy": 5000000, "expire_time": 4102444800}},
    {"uid": 1002, "username": "other", "password": "other123", "email": "other@example.test",
     "server": "s2", "ip_nums": 0, "expire_time": 0}
  ],
  "lines": [{"id": 1, "plan": "S5", "sn": "sn-1", "ip": "127.0.2.1"}],
  "packages": [
    {"num": 10, "limit_sale_price": "25", "money": "30"},
    {"num": 3, "limit_sale_price": "19.99", "money": "24"},
    {"num": 0, "limit_sale_price": "5", "money": "5"}
  ],
  "update": {"version": 208, "show_version": "2.0.8", "desc": "fixes", "force_update": "true",
             "file": "installer.bin", "download_name": "Velmora-2.0.8.exe"},
  "config": {"notice": "hello"}
})");
        data.close();

        m_process.setProgram(program);
        m_process.setArguments({ "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--data",
            m_dir.filePath(QStringLiteral("service.json")) });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000))
                return false;
        }
        const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
        // "listening http://HOST:PORT exit HOST:PORT"
        m_base = line.section(QLatin1Char(' '), 1, 1);
        return m_base.startsWith(QLatin1String("http://"));
    }

    ~ServiceProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }

    QString base() const { return m_base; }
    QByteArray installer() const { return QByteArray(kInstaller).repeated(2000); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_base;
};
