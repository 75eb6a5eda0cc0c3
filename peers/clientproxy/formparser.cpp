#include "formparser.h"

#include <algorithm>
#include <cctype>

namespace zq::clientproxy {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The value of `param` (name="x" or name=x) in a header value.
std::string headerParam(const std::string& value, const std::string& param)
{
    const std::string low = lower(value);
    std::size_t pos = 0;
    while ((pos = low.find(param + "=", pos)) != std::string::npos) {
        const bool startOk = pos == 0 || low[pos - 1] == ';' || low[pos - 1] == ' ' || low[pos - 1] == '\t';
        pos += param.size() + 1;
        if (!startOk)
            continue;
        if (pos < value.size() && value[pos] == '"') {
            const auto end = value.find('"', pos + 1);
            return end == std::string::npos ? std::string() : value.substr(pos + 1, end - pos - 1);
        }
        const auto end = value.find(';', pos);
        std::string v = value.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
            v.pop_back();
        return v;
    }
    return {};
}

} // namespace

std::string multipartBoundary(const std::string& contentType)
{
    return headerParam(contentType, "boundary");
}

std::optional<FormFields> parseMultipart(const std::string& body, const std::string& boundary, std::string& error)
{
    FormFields fields;
    if (boundary.empty()) {
        error = "multipart body without boundary";
        return std::nullopt;
    }
    if (body.empty())
        return fields;
    const std::string delim = "--" + boundary;
    std::size_t pos = body.find(delim);
    if (pos == std::string::npos) {
        error = "malformed multipart body (no delimiter)";
        return std::nullopt;
    }
    for (;;) {
        pos += delim.size();
        if (body.compare(pos, 2, "--") == 0)
            return fields; // closing delimiter
        if (body.compare(pos, 2, "\r\n") == 0)
            pos += 2;
        else if (body.compare(pos, 1, "\n") == 0)
            pos += 1;
        else {
            error = "malformed multipart body (bad delimiter line)";
            return std::nullopt;
        }
        const auto headersEnd = body.find("\r\n\r\n", pos);
        if (headersEnd == std::string::npos) {
            error = "malformed multipart body (part headers not terminated)";
            return std::nullopt;
        }
        std::string name;
        bool haveName = false;
        std::size_t line = pos;
        while (line < headersEnd) {
            auto eol = body.find("\r\n", line);
            if (eol == std::string::npos || eol > headersEnd)
                eol = headersEnd;
            const std::string header = body.substr(line, eol - line);
            const auto colon = header.find(':');
            if (colon != std::string::npos && lower(header.substr(0, colon)) == "content-disposition") {
                name = headerParam(header.substr(colon + 1), "name");
                haveName = true;
            }
            line = eol + 2;
        }
        const std::size_t contentStart = headersEnd + 4;
        const auto next = body.find("\r\n" + delim, contentStart);
        if (next == std::string::npos) {
            error = "malformed multipart body (part not terminated)";
            return std::nullopt;
        }
        if (!haveName) {
            error = "multipart part without a field name";
            return std::nullopt;
        }
        fields.emplace(name, body.substr(contentStart, next - contentStart));
        pos = next + 2;
    }
}

} // namespace zq::clientproxy
