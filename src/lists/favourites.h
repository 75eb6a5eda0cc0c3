#pragma once
// The favourite lists against the service: fetching and merging them (sharing records with the
// today lists), adding a line, removing ("dislike") one, and remarks. The records are SavedLists'
// (it alone deletes them); this object hands dropped ones to SavedLists::release.

#include "formfields.h"
#include "linerecords.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

class PayloadCodec;

namespace zq {
class ServiceAddresses;
}

namespace zq::lists {

class SavedLists;
using zq::catalogue::Plan;

class Favourites : public QObject {
    Q_OBJECT
public:
    // lists and codec outlive this object.
    Favourites(SavedLists* lists, const PayloadCodec* codec, const QString& unionId, QObject* parent = nullptr);

    void setAddresses(const zq::ServiceAddresses* addresses) { m_addresses = addresses; }
    void setPoster(zq::catalogue::Poster poster) { m_post = std::move(poster); }

    void getFavouriteList(const QString& plantype);
    void setFavourite(const QString& username, const QString& ip, const QString& area, const QString& sn,
        const QString& server, const QString& sessionId, const QString& plantype);
    void setFavouriteUnlimit(const QString& username, const QString& ip, const QString& area, const QString& sn,
        const QString& server, const QString& sessionId);
    void setDislikeIP(const QString& username, const QString& ip, const QString& sn, const QString& server,
        const QString& sessionId, const QString& plantype);
    void setDislikeIPUnlimit(
        const QString& username, const QString& ip, const QString& sn, const QString& server, const QString& sessionId);
    void setFavouriteRemark(const QString& ip, const QString& planType, const QString& remarks);

    void dealGetFavouriteList(const QJsonObject& reply, const QString& tag);
    void dealFavouriteInfo(const QJsonObject& reply, const QString& tag);
    void dealFavouriteRemark(const QJsonObject& reply, const QString& tag);
    void dealDislike(const QJsonObject& reply);

signals:
    void getFavouriteListStatus(bool status, QString message);
    void setFavouriteStatus(bool status, QString message);
    void setDislikeStatus(bool status, QString message);
    void setFavouriteRemarkStatus(bool status, QString message);

private:
    void post(const char* path, const zq::catalogue::FormFields& fields, const QString& tag);
    void addFavourite(Plan plan, const QString& username, const QString& ip, const QString& area, const QString& sn,
        const QString& server, const QString& sessionId, const QString& tag);
    void dislike(Plan plan, bool changeList, const QString& username, const QString& ip, const QString& sn,
        const QString& server, const QString& sessionId, const QByteArray& planWord);

    SavedLists* m_lists;
    const PayloadCodec* m_codec;
    QString m_unionId;
    const zq::ServiceAddresses* m_addresses = nullptr;
    zq::catalogue::Poster m_post;
};

} // namespace zq::lists
