#pragma once
// The settings file proxy.json: last account and port range between runs.

#include <QString>

struct Settings {
    bool autoLogin = false;
    QString email;
    QString password;
    int portNum = 0;
    int startPort = 0;
    int uid = 0;
    QString username;
};

namespace ConfigFile {

// False when the file cannot be opened. A file that is not a JSON object leaves `settings`
// unchanged and still counts as read; missing or mistyped keys read as empty, 0 or false.
bool read(const QString& path, Settings& settings);

// Writes compact JSON with sorted keys through a temporary file, so the old file stays whole
// when the write fails. Returns the error text, empty on success.
QString save(const QString& path, const Settings& settings);

} // namespace ConfigFile
