#pragma once
// One program of the per-program proxy list. qId -1 marks the placeholder entry, the tile that
// adds a program. Setters store and always notify.

#include <QObject>
#include <QString>
#include <QUrl>

class ProcessInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(int qId READ getId WRITE setId NOTIFY idChanged)
    Q_PROPERTY(QString qName READ getName WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString qPath READ getPath WRITE setPath NOTIFY pathChanged)
    Q_PROPERTY(QUrl qImage READ getImage WRITE setImage NOTIFY imageChanged)
    Q_PROPERTY(QString qParm READ getParm WRITE setParm NOTIFY parmChanged)
public:
    explicit ProcessInfo(QObject* parent = nullptr);

    int getId() const { return m_id; }
    QString getName() const { return m_name; }
    QString getPath() const { return m_path; }
    QUrl getImage() const { return m_image; }
    QString getParm() const { return m_parm; }

    void setId(int value);
    void setName(const QString& value);
    void setPath(const QString& value);
    void setImage(const QUrl& value);
    void setParm(const QString& value);

signals:
    void idChanged();
    void nameChanged();
    void pathChanged();
    void imageChanged();
    void parmChanged();

private:
    int m_id = 0;
    QString m_name;
    QString m_path;
    QUrl m_image;
    QString m_parm;
};
