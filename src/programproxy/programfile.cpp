#include "programfile.h"

#include <QDebug>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStandardPaths>

namespace zq::programproxy {

namespace {

constexpr int kIconSize = 28;

// A plain tile: grey with a darker frame.
QImage genericIcon()
{
    QImage image(kIconSize, kIconSize, QImage::Format_ARGB32);
    image.fill(QColor(0x9a, 0xa4, 0xb0));
    for (int i = 0; i < kIconSize; ++i) {
        for (int edge : { 0, kIconSize - 1 }) {
            image.setPixelColor(i, edge, QColor(0x5c, 0x66, 0x73));
            image.setPixelColor(edge, i, QColor(0x5c, 0x66, 0x73));
        }
    }
    return image;
}

} // namespace

QString desktopExecProgram(const QByteArray& desktopFile)
{
    bool inEntry = false;
    for (const QByteArray& raw : desktopFile.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry || !line.startsWith("Exec="))
            continue;
        const QString value = QString::fromUtf8(line.mid(5)).trimmed();
        QString word;
        bool quoted = false;
        for (int i = 0; i < value.size(); ++i) {
            const QChar c = value.at(i);
            if (c == QLatin1Char('"')) {
                quoted = !quoted;
            } else if (c == QLatin1Char('\\') && quoted && i + 1 < value.size()) {
                word += value.at(++i);
            } else if (c.isSpace() && !quoted) {
                break;
            } else {
                word += c;
            }
        }
        return word;
    }
    return {};
}

QString programTarget(const QString& path)
{
    const QFileInfo file(path);
#ifdef Q_OS_WIN
    if (file.suffix() == QLatin1String("lnk"))
        return file.symLinkTarget();
    if (file.suffix() == QLatin1String("exe"))
        return file.absoluteFilePath();
    return {};
#else
    if (file.suffix() == QLatin1String("desktop")) {
        QFile launcher(path);
        if (!launcher.open(QIODevice::ReadOnly))
            return {};
        const QString program = desktopExecProgram(launcher.read(1 << 20));
        if (program.isEmpty())
            return {};
        const QString found = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
        const QFileInfo target(found);
        return target.isFile() && target.isExecutable() ? target.absoluteFilePath() : QString();
    }
    if (file.isFile() && file.isExecutable())
        return file.absoluteFilePath();
    return {};
#endif
}

bool saveProgramIcon(const QString& program, const QString& pngPath)
{
    QImage image;
    // The icon provider needs the GUI side of Qt; without it the generic picture stands in.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        const QIcon icon = QFileIconProvider().icon(QFileInfo(program));
        const QPixmap pixmap = icon.pixmap(kIconSize, kIconSize, QIcon::Normal, QIcon::Off);
        if (!pixmap.isNull())
            image = pixmap.toImage();
        if (!image.isNull() && image.size() != QSize(kIconSize, kIconSize))
            image = image.scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (image.isNull())
        image = genericIcon();
    const bool saved = image.save(pngPath);
    if (!saved)
        qDebug() << "icon not saved:" << pngPath;
    return saved;
}

} // namespace zq::programproxy
