#pragma once
// The HTTP face of the service: every account and line-catalogue call the client makes, the
// binding registration of the local helper, the installer download, and a clock for tests.

#include "accountstore.h"
#include "catalogue.h"
#include "form.h"
#include "httpserver.h"
#include "payloadcodeccore.h"
#include "servicedata.h"

namespace zq::service {

class ServiceApi {
public:
    ServiceApi(const ServiceData& data, const Catalogue& catalogue, AccountStore& store);

    // scheme is "http" or "https", used for the download link of the update offer.
    void install(peers::HttpServer& server, const std::string& scheme);

private:
    struct Call {
        const httplib::Request& req;
        const peers::FormFields& form;
        std::string username; // the session's account, when the route needs one
    };
    using Handler = nlohmann::json (ServiceApi::*)(const Call&);

    void route(peers::HttpServer& server, const std::string& path, bool needsSession, Handler handler);

    nlohmann::json login(const Call& call);
    nlohmann::json logout(const Call& call);
    nlohmann::json config(const Call& call);
    nlohmann::json checkUpdate(const Call& call);
    nlohmann::json checkIp(const Call& call);
    nlohmann::json checkProxy(const Call& call);
    nlohmann::json ipCount(const Call& call);
    nlohmann::json limitInfo(const Call& call);
    nlohmann::json userFlow(const Call& call);
    nlohmann::json packages(const Call& call);
    nlohmann::json todayList(const Call& call);
    nlohmann::json favouriteList(const Call& call);
    nlohmann::json addFavourite(const Call& call);
    nlohmann::json remark(const Call& call);
    nlohmann::json dislike(const Call& call);
    nlohmann::json lineList(const Call& call);
    nlohmann::json unlimitLineList(const Call& call);
    nlohmann::json areaList(const Call& call);
    nlohmann::json snExists(const Call& call);
    nlohmann::json bindSession(const Call& call);
    nlohmann::json unbindSession(const Call& call);
    nlohmann::json testClock(const Call& call);
    void download(const httplib::Request& req, httplib::Response& res);

    // A line as the line, today and favourite lists carry it, with its sn encoded.
    nlohmann::json lineJson(const Line& line) const;
    // nullopt for text that is not payload-codec text.
    std::optional<std::string> decodeField(const std::string& text) const;
    // Checks the account-name field against the session; nullopt when it matches.
    std::optional<nlohmann::json> checkUser(const Call& call, const char* field, bool encodedOnly) const;
    // The line named by a codec-encoded sn field, or an error envelope.
    const Line* lineFromSn(const Call& call, nlohmann::json* error) const;

    const ServiceData& m_data;
    const Catalogue& m_catalogue;
    AccountStore& m_store;
    const codec::Codec m_codec;
    std::string m_scheme = "http";
};

} // namespace zq::service
