#include "configfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace ConfigFile {

namespace {

// The file keeps the password in clear text; the log never shows it.
QJsonObject withMaskedPassword(QJsonObject obj)
{
    const auto it = obj.find(QStringLiteral("password"));
    if (it != obj.end() && it->isString())
        *it = QString(it->toString().size(), QLatin1Char('*'));
    return obj;
}

} // namespace

bool read(const QString& path, Settings& settings)
{
    qDebug() << "readConfigFromFile:" << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "文件打开失败";
        return false;
    }
    const QByteArray data = file.readAll();
    file.close();

    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (!doc.isObject()) {
        // A damaged file may still hold the password in clear text: only its size is logged.
        qDebug() << "data:"
                 << "not a JSON object," << data.size() << "bytes";
        return true;
    }
    const QJsonObject obj = doc.object();
    qDebug() << "data:" << QString::fromUtf8(QJsonDocument(withMaskedPassword(obj)).toJson(QJsonDocument::Compact));
    settings.username = obj.value(QStringLiteral("username")).toString();
    settings.password = obj.value(QStringLiteral("password")).toString();
    settings.email = obj.value(QStringLiteral("email")).toString();
    settings.uid = obj.value(QStringLiteral("uid")).toInt();
    settings.portNum = obj.value(QStringLiteral("portNum")).toInt();
    settings.startPort = obj.value(QStringLiteral("startPort")).toInt();
    settings.autoLogin = obj.value(QStringLiteral("autoLogin")).toBool();
    return true;
}

QString save(const QString& path, const Settings& settings)
{
    qDebug() << "save config" << settings.portNum << ":" << settings.startPort;
    QJsonObject obj;
    obj.insert(QStringLiteral("autoLogin"), settings.autoLogin);
    obj.insert(QStringLiteral("email"), settings.email);
    obj.insert(QStringLiteral("password"), settings.password);
    obj.insert(QStringLiteral("portNum"), settings.portNum);
    obj.insert(QStringLiteral("startPort"), settings.startPort);
    obj.insert(QStringLiteral("uid"), settings.uid);
    obj.insert(QStringLiteral("username"), settings.username);
    const QByteArray text = QJsonDocument(obj).toJson(QJsonDocument::Compact);
    qDebug() << QJsonDocument(withMaskedPassword(obj)).toJson(QJsonDocument::Compact);

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug() << "save config fail!";
        return file.errorString();
    }
    // flush() before commit(): a write cut short (disk full, size limit) is reported only by the
    // flush, and commit() would otherwise rename the truncated file over the good one.
    if (file.write(text) != text.size() || !file.flush()) {
        qDebug() << "save config fail!";
        const QString error
            = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("write cut short");
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) {
        qDebug() << "save config fail!";
        return file.errorString();
    }
    qDebug() << "save config succ";
    return {};
}

} // namespace ConfigFile
