#include "foldercopy.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace FolderCopy {

namespace {

// Writes source's content over target through a temporary file, then takes source's permissions.
bool replaceFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    char buffer[64 * 1024];
    for (qint64 n; (n = in.read(buffer, sizeof buffer)) > 0;) {
        if (out.write(buffer, n) != n) {
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit() && QFile::setPermissions(target, in.permissions());
}

} // namespace

QString fingerprint(const QString& path)
{
    QFile file(path);
    if (!file.exists() || file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

void copyFolder(const QString& source, const QString& destination, Existing existing)
{
    const QDir sourceDir(source);
    const auto filter = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    if (!sourceDir.exists() || sourceDir.entryList(filter).isEmpty())
        return;
    QDir destinationDir(destination);
    if (!destinationDir.exists() && !destinationDir.mkpath(QStringLiteral(".")))
        qDebug() << "创建文件夹失败----" << destination;

    const QFileInfoList entries = sourceDir.entryInfoList(filter);
    qDebug() << "文件个数:" << entries.size();
    for (const QFileInfo& entry : entries) {
        qDebug() << "baseName:" << entry.baseName();
        const QString target = destination + entry.fileName();
        if (entry.isDir()) {
            if (!QDir(target).exists() && !QDir().mkpath(target))
                qDebug() << "文件夹拷贝失败---" << target;
            copyFolder(entry.absoluteFilePath() + QLatin1Char('/'), target + QLatin1Char('/'), existing);
            continue;
        }
        if (fingerprint(entry.absoluteFilePath()) == fingerprint(target))
            continue;
        // QFile::copy never overwrites: an existing different file is kept unless it is to be replaced.
        const bool copied = existing == Existing::Replace && QFileInfo::exists(target)
            ? replaceFile(entry.absoluteFilePath(), target)
            : QFile::copy(entry.absoluteFilePath(), target);
        if (copied)
            qDebug() << "拷贝成功---" << target;
        else
            qDebug() << "拷贝失败---" << target;
    }
}

} // namespace FolderCopy
