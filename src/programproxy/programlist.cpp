#include "programlist.h"

#include "payloadcodec.h"
#include "processinfo.h"
#include "programfile.h"
#include "recordlistmodel.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUrl>

namespace zq::programproxy {

ProgramList::ProgramList(const PayloadCodec* codec, const QString& dataDir, QObject* parent)
    : QObject(parent)
    , m_codec(codec)
    , m_dataDir(dataDir)
    , m_model(new RecordListModel(ProcessInfo::staticMetaObject, "qName", this))
{
    // New programs go before the placeholder, so there is one from the start.
    appendPlaceholder();
    changed();
}

void ProgramList::changed()
{
    m_model->show(getProcessInfoList());
}

QList<QObject*> ProgramList::getProcessInfoList() const
{
    QList<QObject*> list;
    for (ProcessInfo* entry : m_list)
        list.append(entry);
    return list;
}

QStringList ProgramList::entryNames() const
{
    QStringList names;
    for (const ProcessInfo* entry : m_list)
        names.append(entry->getName());
    return names;
}

bool ProgramList::addPrograme(const QString& name)
{
    qDebug() << "addPrograme:" << name;
#ifdef Q_OS_WIN
    QString path = name;
    path.remove(QStringLiteral("file:///"));
#else
    // A POSIX path keeps its leading "/": the URL is turned into a path, not cut.
    const QString path = name.startsWith(QLatin1String("file:")) ? QUrl(name).toLocalFile() : name;
#endif
    const QFileInfo file(path);
    qDebug() << "absoluteFilePath:" << file.absoluteFilePath() << "absolutePath:" << file.absolutePath()
             << "baseName:" << file.baseName() << "bundleName:" << file.bundleName()
             << "canonicalFilePath:" << file.canonicalFilePath() << "canonicalPath:" << file.canonicalPath()
             << "completeBaseName:" << file.completeBaseName() << "completeSuffix:" << file.completeSuffix()
             << "fileName:" << file.fileName() << "filePath:" << file.filePath() << "path:" << file.path()
             << "suffix:" << file.suffix() << "symLinkTarget:" << file.symLinkTarget() << "size:" << file.size();

    const QString program = programTarget(path);
    if (program.isEmpty())
        return false;
    const QString programName = program.split(QLatin1Char('/')).last();
    if (programName.isEmpty())
        return false;
    for (const ProcessInfo* entry : m_list) {
        if (entry->getName() == programName)
            return false;
    }

    const QString baseName = QFileInfo(program).baseName();
    const QString picture = pictureFolder(m_dataDir) + QLatin1Char('/') + baseName + QStringLiteral(".png");
    QDir().mkpath(pictureFolder(m_dataDir));
    saveProgramIcon(program, picture);

    auto* entry = new ProcessInfo(this);
    entry->setId(m_list.size());
    entry->setName(programName);
    entry->setPath(program);
    entry->setParm(QString());
    entry->setImage(QUrl::fromLocalFile(picture));
    m_list.insert(m_list.size() - 1, entry);
    m_programNames.append(programName);
    changed();
    writeCurrent();
    announce(QStringLiteral("ADD ") + programName);
    return true;
}

bool ProgramList::delPrograme(const QString& name)
{
    qDebug() << "1 delPrograme " << name;
    bool removed = false;
    for (int i = 0; i < m_list.size(); ++i) {
        if (m_list[i]->getId() >= 0 && m_list[i]->getName() == name) {
            // QML may still hold the record for the call in progress.
            m_list.takeAt(i)->deleteLater();
            removed = true;
            break;
        }
    }
    if (!removed)
        return false;
    m_programNames.removeOne(name);
    changed();
    writeCurrent();
    qDebug() << "2 delPrograme " << name;
    announce(QStringLiteral("DELETE ") + name);
    return true;
}

void ProgramList::clear()
{
    for (ProcessInfo* entry : m_list)
        entry->deleteLater();
    m_list.clear();
    m_programNames.clear();
}

void ProgramList::appendPlaceholder()
{
    auto* placeholder = new ProcessInfo(this);
    placeholder->setId(-1);
    m_list.append(placeholder);
}

bool ProgramList::read(const QString& fileName)
{
    const QString path = m_dataDir + QLatin1Char('/') + fileName;
    qDebug() << "readProgramList:" << path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        clear();
        appendPlaceholder();
        changed();
        qDebug() << "proc file not exist!:" << m_list.size();
        return false;
    }
    const QByteArray decoded = m_codec->decode(QString::fromUtf8(file.readAll()));
    file.close();
    const QJsonDocument document = QJsonDocument::fromJson(decoded);
    clear();
    if (document.isArray()) {
        for (const QJsonValue& value : document.array()) {
            const QJsonObject object = value.toObject();
            auto* entry = new ProcessInfo(this);
            entry->setId(object.value(QLatin1String("id")).toInt());
            entry->setName(object.value(QLatin1String("name")).toString());
            entry->setPath(object.value(QLatin1String("path")).toString());
            entry->setParm(object.value(QLatin1String("parm")).toString());
            entry->setImage(QUrl(object.value(QLatin1String("image")).toString()));
            m_programNames.append(entry->getName());
            m_list.append(entry);
        }
    } else if (file.size() > 0) {
        // The next add or delete rewrites the file; keep what was there for the user.
        const QString keep = path + QStringLiteral(".unreadable");
        QFile::remove(keep);
        const bool kept = QFile::copy(path, keep);
        qDebug() << "program list file unreadable, kept as" << keep << kept;
    }
    appendPlaceholder();
    changed();
    qDebug() << "read proc file:" << m_list.size();
    return true;
}

bool ProgramList::write(const QString& fileName)
{
    QJsonArray array;
    for (const ProcessInfo* entry : m_list) {
        if (entry->getId() < 0)
            continue;
        array.append(QJsonObject { { QStringLiteral("id"), entry->getId() },
            { QStringLiteral("image"), entry->getImage().toString() }, { QStringLiteral("name"), entry->getName() },
            { QStringLiteral("parm"), entry->getParm() }, { QStringLiteral("path"), entry->getPath() } });
    }
    const QString encoded = m_codec->encode(QJsonDocument(array).toJson(QJsonDocument::Compact));
    QDir().mkpath(m_dataDir);
    QSaveFile file(m_dataDir + QLatin1Char('/') + fileName);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray bytes = encoded.toUtf8();
        // A write cut short shows only in the flush; commit() would rename the short file.
        if (file.write(bytes) == bytes.size() && file.flush() && file.commit()) {
            qDebug() << "文件保存成功";
            return true;
        }
        file.cancelWriting();
    }
    qDebug() << "文件保存失败";
    emit proxyClientMessage(QStringLiteral("文件保存失败") + file.errorString());
    return false;
}

void ProgramList::writeCurrent()
{
    if (m_fileName)
        write(m_fileName());
}

void ProgramList::announce(const QString& text)
{
    if (m_announce)
        m_announce(text);
}

} // namespace zq::programproxy
