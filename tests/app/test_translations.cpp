// Every interface text (qsTr in the QML, tr in the C++) has a finished Traditional Chinese
// translation in the committed translation source, and that source is up to date.
#include <QtTest>

namespace {

struct Message {
    QString context;
    QString source;
    QString comment;
    QString translation;
    bool finished = false;

    QString key() const { return context + QLatin1Char('\n') + source + QLatin1Char('\n') + comment; }
    QString label() const { return context + QStringLiteral(": \"") + source + QLatin1Char('"'); }
};

QList<Message> readTs(const QString& path, QString* error)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const QStringRef name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            current = Message();
            current.context = context;
        } else if (name == QLatin1String("source")) {
            current.source = xml.readElementText();
        } else if (name == QLatin1String("comment")) {
            current.comment = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            // Plural messages keep their forms in <numerusform> children; each must be filled.
            bool allForms = true;
            QString text;
            while (xml.readNext() != QXmlStreamReader::EndElement || xml.name() != QLatin1String("translation")) {
                if (xml.hasError())
                    break;
                if (xml.isCharacters())
                    text += xml.text();
                if (xml.isStartElement() && xml.name() == QLatin1String("numerusform")) {
                    const QString form = xml.readElementText();
                    allForms = allForms && !form.isEmpty();
                    text += form;
                }
            }
            current.translation = text.trimmed();
            current.finished = type.isEmpty() && allForms && !current.translation.isEmpty();
            if (type != QLatin1String("vanished") && type != QLatin1String("obsolete"))
                messages.append(current);
        }
    }
    if (xml.hasError())
        *error = QStringLiteral("%1 line %2: %3").arg(path).arg(xml.lineNumber()).arg(xml.errorString());
    return messages;
}

// The %1, %2 ... markers of a text, sorted.
QStringList markers(const QString& text)
{
    QStringList found;
    static const QRegularExpression marker(QStringLiteral("%L?\\d+"));
    auto it = marker.globalMatch(text);
    while (it.hasNext())
        found << it.next().captured().remove(QLatin1Char('L'));
    found.sort();
    return found;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyTextTranslated();

private:
    QString m_root;
    QString m_committed;
};

void TestTranslations::initTestCase()
{
    // ZQ_TRANSLATION_ROOT points the check at another checkout of the tree.
    m_root = qEnvironmentVariable("ZQ_TRANSLATION_ROOT", QStringLiteral(ZQ_SOURCE_DIR));
    m_committed = m_root + QStringLiteral("/src/qml/language/zh_TR.ts");
    QVERIFY2(QFile::exists(m_committed), qPrintable(m_committed + " is missing"));
}

void TestTranslations::everyTextTranslated()
{
    // The texts as they are now, gathered the way scripts/update-translations gathers them,
    // into a copy: the source tree is never written.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fresh = dir.filePath(QStringLiteral("zh_TR.ts"));
    QVERIFY(QFile::copy(m_committed, fresh));
    QFile::setPermissions(fresh, QFile::ReadOwner | QFile::WriteOwner);

    QProcess lupdate;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LUPDATE"), QStringLiteral(ZQ_LUPDATE));
    lupdate.setProcessEnvironment(env);
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral("bash"), { m_root + QStringLiteral("/scripts/update-translations"), fresh });
    QVERIFY2(lupdate.waitForFinished(60000), "lupdate did not finish within 60 s");
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, lupdate.readAll().constData());

    QString error;
    const QList<Message> committed = readTs(m_committed, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QList<Message> current = readTs(fresh, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(!current.isEmpty(), "no interface texts found under src/");

    QSet<QString> known;
    for (const Message& m : committed)
        known.insert(m.key());

    QStringList missing, unfinished, badMarkers;
    for (const Message& m : current) {
        if (!known.contains(m.key()))
            missing << m.label();
        else if (!m.finished)
            unfinished << m.label();
        else if (markers(m.source) != markers(m.translation))
            badMarkers << m.label() + QStringLiteral(" -> \"") + m.translation + QLatin1Char('"');
    }

    QString report;
    if (!missing.isEmpty())
        report += QStringLiteral("\nTexts missing from src/qml/language/zh_TR.ts "
                                 "(run scripts/update-translations, then translate them):\n  ")
            + missing.join(QStringLiteral("\n  "));
    if (!unfinished.isEmpty())
        report
            += QStringLiteral("\nTexts without a finished translation:\n  ") + unfinished.join(QStringLiteral("\n  "));
    if (!badMarkers.isEmpty())
        report += QStringLiteral("\nTranslations whose %N markers differ from the text:\n  ")
            + badMarkers.join(QStringLiteral("\n  "));
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "test_translations.moc"
