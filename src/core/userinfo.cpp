#include "userinfo.h"

#include <QDateTime>
#include <QDebug>
#include <QLocale>

UserInfo* UserInfo::instance()
{
    static UserInfo* info = new UserInfo;
    return info;
}

QString UserInfo::getExpireTimeStr() const
{
    if (m_expireUTC == 0)
        return QStringLiteral("*************");
    const QDateTime time = QDateTime::fromSecsSinceEpoch(m_expireUTC).toLocalTime();
    const QString text = QLocale(QLocale::English).toString(time, QStringLiteral("yyyy-MM-dd hh:mm"));
    qDebug() << text;
    return text;
}
