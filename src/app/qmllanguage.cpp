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

QmlLanguage::~QmlLanguage()
{
    if (m_installed)
        QCoreApplication::removeTranslator(&m_translator);
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
    if (chinese && !m_installed) {
        // A missing or unreadable file leaves the translator empty and the interface English.
        m_translator.load(translationFile());
        m_installed = m_app->installTranslator(&m_translator);
        if (!m_installed) {
            // Qt keeps even an empty translator it refused; take it back out.
            m_app->removeTranslator(&m_translator);
            if (logFailure)
                qDebug() << "installTranslator fail!";
        }
    } else if (!chinese && m_installed) {
        m_app->removeTranslator(&m_translator);
        m_installed = false;
    }
    if (m_engine)
        m_engine->retranslate();
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
