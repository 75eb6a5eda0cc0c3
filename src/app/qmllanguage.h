#pragma once
// Switches the interface between English and Traditional Chinese.

#include <QObject>
#include <QString>

class QCoreApplication;
class QQmlEngine;

class QmlLanguage : public QObject {
    Q_OBJECT
public:
    QmlLanguage(QCoreApplication* app, QQmlEngine* engine);

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
};
