#include "form.h"

#include <cctype>

namespace zq::peers {

namespace {

// More parts than any client call has.
constexpr std::size_t kMaxParts = 1000;

// Whether text holds prefix at pos, ignoring case; reads in place, so a scan stays linear.
bool startsWithNoCase(const std::string& text, const std::string& prefix, std::size_t pos = 0)
{
    if (pos > text.size() || text.size() - pos < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[pos + i]))
            != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// Value of a "key=value" or key="value" parameter in a header value.
std::optional<std::string> headerParam(const std::string& header, const std::string& key)
{
    std::size_t pos = 0;
    while ((pos = header.find(';', pos)) != std::string::npos) {
        ++pos;
        while (pos < header.size() && (header[pos] == ' ' || header[pos] == '\t'))
            ++pos;
        if (!startsWithNoCase(header, key + "=", pos))
            continue;
        pos += key.size() + 1;
        if (pos < header.size() && header[pos] == '"') {
            const auto close = header.find('"', pos + 1);
            if (close == std::string::npos)
                return std::nullopt;
            return header.substr(pos + 1, close - pos - 1);
        }
        const auto end = header.find_first_of("; \t", pos);
        return header.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    }
    return std::nullopt;
}

std::nullopt_t fail(std::string* error, const std::string& why)
{
    if (error)
        *error = "malformed multipart form: " + why;
    return std::nullopt;
}

} // namespace

std::optional<FormFields> FormFields::fromRequest(const httplib::Request& req, std::string* error)
{
    const std::string type = req.get_header_value("Content-Type");
    if (startsWithNoCase(type, "multipart/form-data"))
        return parse(type, req.body, error);
    if (req.body.empty())
        return FormFields {};
    if (error)
        *error = "the body is not a multipart/form-data form";
    return std::nullopt;
}

std::optional<FormFields> FormFields::parse(const std::string& contentType, const std::string& body, std::string* error)
{
    const auto boundary = headerParam(contentType, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > 200)
        return fail(error, "no usable boundary in the Content-Type");
    const std::string delimiter = "--" + *boundary;
    FormFields form;
    std::size_t pos = body.find(delimiter);
    if (pos == std::string::npos || (pos != 0 && (pos < 2 || body.compare(pos - 2, 2, "\r\n") != 0)))
        return fail(error, "the boundary never appears");
    while (true) {
        pos += delimiter.size();
        if (body.compare(pos, 2, "--") == 0)
            return form; // close delimiter; anything after it is epilogue
        while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t'))
            ++pos;
        if (body.compare(pos, 2, "\r\n") != 0)
            return fail(error, "a boundary line does not end with CRLF");
        pos += 2;
        if (form.m_fields.size() >= kMaxParts)
            return fail(error, "too many parts");
        // Part headers, then an empty line, then the content up to CRLF + delimiter.
        std::optional<std::string> name;
        while (body.compare(pos, 2, "\r\n") != 0) {
            const auto eol = body.find("\r\n", pos);
            if (eol == std::string::npos)
                return fail(error, "unterminated part headers");
            const std::string line = body.substr(pos, eol - pos);
            if (startsWithNoCase(line, "content-disposition:")) {
                const std::string value = line.substr(20);
                if (value.find("form-data") == std::string::npos)
                    return fail(error, "a part is not form-data");
                name = headerParam(value, "name");
            }
            pos = eol + 2;
        }
        pos += 2;
        const auto next = body.find("\r\n" + delimiter, pos);
        if (next == std::string::npos)
            return fail(error, "a part is not closed by the boundary");
        if (!name || name->empty())
            return fail(error, "a part has no field name");
        form.m_fields.emplace_back(*name, body.substr(pos, next - pos));
        pos = next + 2;
    }
}

bool FormFields::has(const std::string& name) const
{
    for (const auto& f : m_fields)
        if (f.first == name)
            return true;
    return false;
}

std::optional<std::string> FormFields::get(const std::string& name) const
{
    for (const auto& f : m_fields)
        if (f.first == name)
            return f.second;
    return std::nullopt;
}

std::string FormFields::value(const std::string& name, const std::string& fallback) const
{
    auto v = get(name);
    return v ? *v : fallback;
}

std::vector<std::string> FormFields::all(const std::string& name) const
{
    std::vector<std::string> out;
    for (const auto& f : m_fields)
        if (f.first == name)
            out.push_back(f.second);
    return out;
}

nlohmann::json FormFields::toJson() const
{
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [name, value] : m_fields) {
        if (!out.contains(name))
            out[name] = value;
        else if (out[name].is_array())
            out[name].push_back(value);
        else
            out[name] = nlohmann::json::array({ out[name], value });
    }
    return out;
}

} // namespace zq::peers
