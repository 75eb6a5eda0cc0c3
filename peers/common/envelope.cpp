#include "envelope.h"

namespace zq::peers {

nlohmann::json envelope(int code, const std::string& msg)
{
    return nlohmann::json { { "code", code }, { "msg", msg } };
}

nlohmann::json envelope(int code, const std::string& msg, const char* payloadKey, nlohmann::json payload)
{
    nlohmann::json out = envelope(code, msg);
    out[payloadKey] = std::move(payload);
    return out;
}

void sendJson(httplib::Response& res, const nlohmann::json& body)
{
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), "application/json");
}

void installEnvelopeErrorHandler(HttpServer& server)
{
    server.setErrorHandler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        std::string msg;
        switch (res.status) {
        case 400:
            msg = "bad request: malformed request line, headers or body";
            break;
        case 404:
            msg = "unknown path";
            break;
        case 405:
            msg = "method not allowed";
            break;
        case 413:
            msg = "request body too large";
            break;
        case 414:
            msg = "request line too long";
            break;
        case 431:
            msg = "request headers too large";
            break;
        default:
            msg = "request failed with HTTP status " + std::to_string(res.status);
            break;
        }
        sendJson(res, envelope(res.status, msg));
    });
}

} // namespace zq::peers
