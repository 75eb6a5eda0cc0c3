#pragma once
// The reply envelope every peer answers with: {"code", "msg", and "ret_data" or "data"}.

#include "httpserver.h"

#include <nlohmann/json.hpp>

#include <string>

namespace zq::peers {

// Failure codes; none of them collides with a success value (0 or 1).
enum ErrorCode : int {
    kBadRequest = 400,
    kNotLoggedIn = 401,
    kRefused = 403,
    kNotFound = 404,
    kTooLarge = 413,
    kInternal = 500,
};

nlohmann::json envelope(int code, const std::string& msg);
nlohmann::json envelope(int code, const std::string& msg, const char* payloadKey, nlohmann::json payload);

// Writes the object as the JSON body; invalid UTF-8 in texts is replaced, never thrown on.
void sendJson(httplib::Response& res, const nlohmann::json& body);

// Turns the server's bare HTTP errors (404, 405 ...) into envelopes.
void installEnvelopeErrorHandler(HttpServer& server);

} // namespace zq::peers
