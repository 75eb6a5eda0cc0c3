#pragma once
// The per-program proxy's list of programs: adding one from a dropped file with its icon,
// removing one, the per-account list file, and announcing each change to the driver.
// The list always ends with one placeholder entry (qId -1), the tile that adds a program.
//
// Ownership: the entries are this object's children and only it deletes them (on delete and on
// reading another list). Its model shows them by QPointer and is told of every change.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class PayloadCodec;
class ProcessInfo;
class RecordListModel;

namespace zq::programproxy {

class ProgramList : public QObject {
    Q_OBJECT
public:
    // codec is the Controller's; dataDir is its data folder (list files, "/program_image").
    ProgramList(const PayloadCodec* codec, const QString& dataDir, QObject* parent = nullptr);

    // Sends "ADD "/"DELETE " texts to the driver; the driver channel decides whether it runs.
    void setAnnouncer(std::function<bool(const QString&)> announce) { m_announce = std::move(announce); }
    // Name of the list file (relative to the data folder) that adds and deletes write.
    void setFileName(std::function<QString()> fileName) { m_fileName = std::move(fileName); }

    // name: a local path or a "file:" URL. True when an entry was added.
    bool addPrograme(const QString& name);
    // True when an entry of that name was removed.
    bool delPrograme(const QString& name);

    // The entries, placeholder included. Records belong to this list.
    QList<QObject*> getProcessInfoList() const;
    // The entries as a list model for the views, keyed by qName; follows every change.
    RecordListModel* model() const { return m_model; }
    // qName of each program in the order added.
    const QStringList& programNames() const { return m_programNames; }
    // qName of every entry in list order, the placeholder's empty name included.
    QStringList entryNames() const;

    // fileName is relative to the data folder. False when the file cannot be opened.
    bool read(const QString& fileName);
    bool write(const QString& fileName);

    static QString pictureFolder(const QString& dataDir) { return dataDir + QStringLiteral("/program_image"); }

signals:
    void proxyClientMessage(QString msg);

private:
    void clear();
    void appendPlaceholder();
    void writeCurrent();
    void announce(const QString& text);
    void changed();

    const PayloadCodec* m_codec;
    QString m_dataDir;
    QList<ProcessInfo*> m_list;
    QStringList m_programNames;
    RecordListModel* m_model;
    std::function<bool(const QString&)> m_announce;
    std::function<QString()> m_fileName;
};

} // namespace zq::programproxy
