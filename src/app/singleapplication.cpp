#include "singleapplication.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QWindow>

namespace {

// One instance per user and id: the names carry both.
QString instanceKey(const QString& id)
{
    const QByteArray user = qgetenv("USER") + qgetenv("USERNAME");
    const QByteArray hash = QCryptographicHash::hash(id.toUtf8() + '|' + user, QCryptographicHash::Md5).toHex();
    return id + QLatin1Char('-') + QString::fromLatin1(hash.left(12));
}

} // namespace

SingleApplication::SingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv)
    , m_serverName(instanceKey(id))
{
    m_lock = new QLockFile(QDir::temp().filePath(m_serverName + QStringLiteral(".lock")));
    // A lock whose owner died is stale at once; no time-based expiry for a live owner.
    m_lock->setStaleLockTime(0);
    m_running = !m_lock->tryLock(100);
    if (!m_running)
        startServer();
}

SingleApplication::~SingleApplication()
{
    if (m_server)
        m_server->close();
    delete m_lock;
}

void SingleApplication::startServer()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so any socket file left behind belongs to a dead copy.
    QLocalServer::removeServer(m_serverName);
    if (!m_server->listen(m_serverName))
        qWarning() << "single instance server failed:" << m_server->errorString();
    connect(m_server, &QLocalServer::newConnection, this, &SingleApplication::readConnection);
}

void SingleApplication::readConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            QDataStream in(socket);
            in.startTransaction();
            QString message;
            in >> message;
            if (!in.commitTransaction())
                return; // wait for the rest
            socket->write("ack");
            socket->flush();
            emit messageReceived(message);
        });
    }
}

bool SingleApplication::sendMessage(const QString& message, int timeout)
{
    if (!m_running)
        return false;
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeout))
        return false;
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << message;
    socket.write(data);
    const int left = [&] { return int(qMax<qint64>(1, timeout - clock.elapsed())); }();
    if (!socket.waitForBytesWritten(left))
        return false;
    return socket.waitForReadyRead(int(qMax<qint64>(1, timeout - clock.elapsed()))) && socket.readAll() == "ack";
}

void SingleApplication::setActivationWindow(QWindow* window, bool activateOnMessage)
{
    m_window = window;
    if (activateOnMessage) {
        connect(
            this, &SingleApplication::messageReceived, this, &SingleApplication::activateWindow, Qt::UniqueConnection);
        connect(this, &SingleApplication::messageReceived, this, &SingleApplication::dealMessageReceived,
            Qt::UniqueConnection);
    } else {
        disconnect(this, &SingleApplication::messageReceived, this, &SingleApplication::activateWindow);
    }
}

void SingleApplication::activateWindow()
{
    if (!m_window)
        return;
    m_window->setWindowStates(m_window->windowStates() & ~Qt::WindowMinimized);
    m_window->raise();
    m_window->requestActivate();
    m_window->show();
}

void SingleApplication::dealMessageReceived(const QString& message)
{
    m_lastMessage = message;
}
