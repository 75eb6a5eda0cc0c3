// The parts of the platform layer that Qt already makes portable.

#include "platform.h"

#include <QDebug>
#include <QDesktopServices>
#include <QProcess>

namespace zq::platform {

bool canBindLowPorts()
{
    return lowestBindablePort() <= 1;
}

int lowPortShift(int low)
{
    return low >= 1024 || low >= lowestBindablePort() ? 0 : kLowPortShift;
}

QString exeFileName(const QString& baseName)
{
#ifdef Q_OS_WIN
    return baseName + QStringLiteral(".exe");
#else
    return baseName;
#endif
}

bool startDetached(const QString& program, const QStringList& args, const QString& workDir)
{
    return QProcess::startDetached(program, args, workDir);
}

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList args;
    QString current;
    bool inArgument = false; // something (even an empty quoted pair) belongs to `current`
    bool quoted = false;
    const int n = commandLine.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = commandLine.at(i);
        if (c == QLatin1Char('\\')) {
            int slashes = 0;
            while (i < n && commandLine.at(i) == QLatin1Char('\\')) {
                ++slashes;
                ++i;
            }
            inArgument = true;
            if (i < n && commandLine.at(i) == QLatin1Char('"')) {
                current += QString(slashes / 2, QLatin1Char('\\'));
                if (slashes % 2 == 1) {
                    current += QLatin1Char('"');
                    continue;
                }
            } else {
                current += QString(slashes, QLatin1Char('\\'));
            }
            --i; // the quote or other character after the run is looked at next
            continue;
        }
        if (c == QLatin1Char('"')) {
            inArgument = true;
            // Inside quotes, a doubled quote is a literal quote.
            if (quoted && i + 1 < n && commandLine.at(i + 1) == QLatin1Char('"')) {
                current += QLatin1Char('"');
                ++i;
                continue;
            }
            quoted = !quoted;
            continue;
        }
        if (!quoted && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            if (inArgument)
                args.append(current);
            current.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        current += c;
    }
    if (inArgument)
        args.append(current);
    return args;
}

QString shellResultText(int result)
{
    switch (result) {
    case 0:
        return QStringLiteral("内存不足-");
    case 2:
        return QStringLiteral("文件名错误-");
    case 3:
        return QStringLiteral("路径名错误-");
    case 11:
        return QStringLiteral("exe文件无效-");
    case 26:
        return QStringLiteral("发生共享错误-");
    case 27:
        return QStringLiteral("文件名不完全或无效-");
    case 28:
        return QStringLiteral("超时-");
    case 29:
        return QStringLiteral("DDE事务失败-");
    case 30:
        return QStringLiteral("正在处理其它DDE而不能完成该DDE-");
    case 31:
        return QStringLiteral("没有相关联的应用程序-");
    default:
        return QStringLiteral("未知-");
    }
}

bool openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace zq::platform
