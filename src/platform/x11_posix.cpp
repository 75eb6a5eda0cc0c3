#include "x11.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zq::platform::x11 {

namespace {

quint16 le16(const QByteArray& b, int at)
{
    return quint16(quint8(b[at]) | (quint8(b[at + 1]) << 8));
}

quint16 be16(const QByteArray& b, int at)
{
    return quint16((quint8(b[at]) << 8) | quint8(b[at + 1]));
}

int pad4(int n)
{
    return (n + 3) & ~3;
}

void putLe16(QByteArray& b, int value)
{
    b.append(char(value & 0xff));
    b.append(char((value >> 8) & 0xff));
}

// Reads exactly n bytes unless the deadline passes or the connection ends.
bool readFully(int fd, QByteArray& into, int n, const QElapsedTimer& clock, int timeoutMs)
{
    while (into.size() < n) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            return false;
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, left) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, size_t(qMin<int>(int(sizeof buffer), n - into.size())));
        if (got <= 0)
            return false;
        into.append(buffer, int(got));
    }
    return true;
}

} // namespace

DisplayName parseDisplayName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:unix)?:(\\d+)(?:\\.(\\d+))?$"));
    const QRegularExpressionMatch m = pattern.match(name);
    DisplayName result;
    if (!m.hasMatch())
        return result;
    result.valid = true;
    result.display = m.captured(1).toInt();
    result.screen = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    return result;
}

QByteArray cookieFor(const QByteArray& xauthority, const QByteArray& hostName, int display)
{
    const QByteArray number = QByteArray::number(display);
    int at = 0;
    const int size = xauthority.size();
    while (at + 2 <= size) {
        const quint16 family = be16(xauthority, at);
        at += 2;
        QByteArray fields[4]; // address, number, name, data
        bool whole = true;
        for (QByteArray& field : fields) {
            if (at + 2 > size) {
                whole = false;
                break;
            }
            const int length = be16(xauthority, at);
            at += 2;
            if (at + length > size) {
                whole = false;
                break;
            }
            field = xauthority.mid(at, length);
            at += length;
        }
        if (!whole)
            break;
        const bool host = family == 65535 || (family == 256 && fields[0] == hostName);
        if (host && (fields[1].isEmpty() || fields[1] == number) && fields[2] == "MIT-MAGIC-COOKIE-1")
            return fields[3];
    }
    return {};
}

QByteArray setupRequest(const QByteArray& cookie)
{
    const QByteArray name = cookie.isEmpty() ? QByteArray() : QByteArray("MIT-MAGIC-COOKIE-1");
    QByteArray request;
    request.append('l'); // little-endian
    request.append('\0');
    putLe16(request, 11);
    putLe16(request, 0);
    putLe16(request, name.size());
    putLe16(request, cookie.size());
    putLe16(request, 0);
    request.append(name);
    request.append(QByteArray(pad4(name.size()) - name.size(), '\0'));
    request.append(cookie);
    request.append(QByteArray(pad4(cookie.size()) - cookie.size(), '\0'));
    return request;
}

int setupReplySize(const QByteArray& header)
{
    if (header.size() < 8)
        return 8;
    return 8 + 4 * le16(header, 6);
}

QSize screenSizeFromSetupReply(const QByteArray& reply, int screen)
{
    if (reply.size() < 40 || reply.at(0) != 1 || reply.size() < setupReplySize(reply))
        return {};
    const int vendorLength = le16(reply, 24);
    const int screens = quint8(reply.at(28));
    const int formats = quint8(reply.at(29));
    if (screen < 0 || screen >= screens)
        return {};
    int at = 40 + pad4(vendorLength) + 8 * formats;
    for (int i = 0;; ++i) {
        if (at + 40 > reply.size())
            return {};
        if (i == screen) {
            const QSize size(le16(reply, at + 20), le16(reply, at + 22));
            return size.isEmpty() ? QSize() : size;
        }
        const int depths = quint8(reply.at(at + 39));
        at += 40;
        for (int d = 0; d < depths; ++d) {
            if (at + 8 > reply.size())
                return {};
            at += 8 + 24 * le16(reply, at + 2);
        }
    }
}

QSize displayScreenSize(int timeoutMs)
{
    const DisplayName display = parseDisplayName(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    if (!display.valid)
        return {};
    const QByteArray path = "/tmp/.X11-unix/X" + QByteArray::number(display.display);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

    QString authPath = QString::fromLocal8Bit(qgetenv("XAUTHORITY"));
    if (authPath.isEmpty())
        authPath = QDir::homePath() + QStringLiteral("/.Xauthority");
    QByteArray cookie;
    QFile auth(authPath);
    if (auth.open(QIODevice::ReadOnly)) {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        cookie = cookieFor(auth.read(1 << 20), QByteArray(host), display.display);
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    QSize size;
    QElapsedTimer clock;
    clock.start();
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const QByteArray request = setupRequest(cookie);
        if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
            QByteArray reply;
            if (readFully(fd, reply, 8, clock, timeoutMs) && setupReplySize(reply) <= (1 << 22)
                && readFully(fd, reply, setupReplySize(reply), clock, timeoutMs))
                size = screenSizeFromSetupReply(reply, display.screen);
        }
    }
    ::close(fd);
    return size;
}

} // namespace zq::platform::x11
