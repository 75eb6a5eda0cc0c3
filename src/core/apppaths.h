#pragma once
// The user's data folders under Documents, and filling them from the installation.

#include <QString>

struct AppPaths {
    QString configDir; // Documents + "/ZQ_Config"
    QString driverDir; // Documents + "/REZ_Config/REZDriver"
    QString startupPath;

    // documentsDir empty: the system's Documents location.
    static AppPaths compute(const QString& documentsDir = QString());

    // Creates the folders; fills configDir from appDir/config/ only when it did not exist yet,
    // and refreshes driverDir from appDir/TarnDriver/ every time, replacing changed files.
    void prepare(const QString& appDir) const;

    QString configFile() const { return configDir + QStringLiteral("/proxy.json"); }
};
