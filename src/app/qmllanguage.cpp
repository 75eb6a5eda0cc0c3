#include "qmllanguage.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QLocale>
#include <QQmlEngine>
#include <QTranslator>

QmlLanguage::QmlLanguage(QCoreApplication* app, QQmlEngine* engine)
    : m_app(app)
    , m_engine(engine)
{
}

QString QmlLanguage::translationFile() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/language/zh_TR.qm");
}

int QmlLanguage::languageIndexFor(const QLocale& locale)
{
    return locale.language() == QLocale::Chinese ? 1 : 0;
}

int QmlLanguage::getLocalLanguage() const
{
    return languageIndexFor(QLocale::system());
}

void QmlLanguage::applyTranslation(bool chinese, bool logFailure)
{
    // The translator lives only for this call: the QML asks again after every screen change.
    QTranslator translator;
    if (chinese)
        translator.load(translationFile());
    if (!m_app->installTranslator(&translator) && logFailure)
        qDebug() << "installTranslator fail!";
    if (m_engine)
        m_engine->retranslate();
    m_app->removeTranslator(&translator);
}

void QmlLanguage::setLanguage(int indexOfLanguage)
{
    applyTranslation(indexOfLanguage == 1, true);
}

void QmlLanguage::setLocalLanguage()
{
    const QLocale system = QLocale::system();
    qDebug() << "system lang:" << QLocale::languageToString(system.language());
    applyTranslation(languageIndexFor(system) == 1, false);
}

void QmlLanguage::refreshLang()
{
    if (m_engine)
        m_engine->retranslate();
}

QString QmlLanguage::transLanguageByIndex(int indexOfLanguage, const QString& str) const
{
    if (indexOfLanguage != 1)
        return str;
    static const QHash<QString, QString> words {
        { QStringLiteral("Total"), QStringLiteral("總價") },
        { QStringLiteral("SELECT"), QStringLiteral("選定") },
        { QStringLiteral("Day"), QStringLiteral("日") },
        { QStringLiteral("Days"), QStringLiteral("日") },
        { QStringLiteral("Per"), QStringLiteral("每") },
        { QStringLiteral("REGION"), QStringLiteral("地區") },
        { QStringLiteral("NUMBER"), QStringLiteral("個數") },
    };
    return words.value(str, str);
}

void QmlLanguage::test()
{
    qDebug() << "测试！！！";
}
