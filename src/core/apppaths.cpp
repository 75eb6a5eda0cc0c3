#include "apppaths.h"

#include "foldercopy.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

AppPaths AppPaths::compute(const QString& documentsDir)
{
    const QString documents
        = documentsDir.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) : documentsDir;
    AppPaths paths;
    paths.configDir = documents + QStringLiteral("/ZQ_Config");
    paths.driverDir = documents + QStringLiteral("/REZ_Config/REZDriver");
    paths.startupPath
        = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation) + QStringLiteral("/Startup");
    qDebug() << "cacheFilePath:" << paths.configDir;
    qDebug() << "startupPath:" << paths.startupPath;
    qDebug() << "dirverPath:" << paths.driverDir;
    return paths;
}

void AppPaths::prepare(const QString& appDir) const
{
    QDir dir;
    if (!dir.exists(configDir)) {
        if (dir.mkpath(configDir))
            FolderCopy::copyFolder(appDir + QStringLiteral("/config/"), configDir + QLatin1Char('/'));
    }
    dir.mkpath(configDir + QStringLiteral("/program_image"));
    if (!dir.exists(driverDir))
        dir.mkpath(driverDir);
    FolderCopy::copyFolder(
        appDir + QStringLiteral("/TarnDriver/"), driverDir + QLatin1Char('/'), FolderCopy::Existing::Replace);
}
