#pragma once
// multipart/form-data bodies parsed from a whole buffer. Done here rather than in the HTTP
// library because the client's empty forms (closing delimiter only) must be accepted.

#include <map>
#include <optional>
#include <string>

namespace zq::clientproxy {

using FormFields = std::multimap<std::string, std::string>;

// The boundary parameter of a Content-Type value, or empty.
std::string multipartBoundary(const std::string& contentType);
// nullopt with `error` set when the body is not a well-formed form.
std::optional<FormFields> parseMultipart(const std::string& body, const std::string& boundary, std::string& error);

} // namespace zq::clientproxy
