#include "foldercopy.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FolderCopy {

QString fingerprint(const QString& path)
{
    QFile file(path);
    if (!file.exists() || file.size() == 0 || !file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

void copyFolder(const QString& source, const QString& destination)
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
            copyFolder(entry.absoluteFilePath() + QLatin1Char('/'), target + QLatin1Char('/'));
            continue;
        }
        if (fingerprint(entry.absoluteFilePath()) == fingerprint(target))
            continue;
        // QFile::copy never overwrites; an existing different file is kept.
        if (QFile::copy(entry.absoluteFilePath(), target))
            qDebug() << "拷贝成功---" << target;
        else
            qDebug() << "拷贝失败---" << target;
    }
}

} // namespace FolderCopy
