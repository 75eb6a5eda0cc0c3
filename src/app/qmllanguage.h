#pragma once
// Switches the interface between English and Traditional Chinese.

#include <QObject>
#include <QString>
#include <QTranslator>

class QCoreApplication;
class QQmlEngine;

class QmlLanguage : public QObject {
    Q_OBJECT
public:
    QmlLanguage(QCoreApplication* app, QQmlEngine* engine);
    ~QmlLanguage() override;

    Q_INVOKABLE void setLocalLanguage();
    Q_INVOKABLE int getLocalLanguage() const;
    Q_INVOKABLE void setLanguage(int indexOfLanguage);
    Q_INVOKABLE void refreshLang();
    Q_INVOKABLE QString transLanguageByIndex(int indexOfLanguage, const QString& str) const;
    Q_INVOKABLE void test();

    // 1 for any Chinese locale, else 0.
    static int languageIndexFor(const QLocale& locale);
    QString translationFile() const;

private:
    void applyTranslation(bool chinese, bool logFailure);

    QCoreApplication* m_app;
    QQmlEngine* m_engine;
    // Installed while Chinese is chosen, so texts evaluated between calls stay Chinese.
    QTranslator m_translator;
    bool m_installed = false;
};
