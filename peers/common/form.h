#pragma once
// Fields of a multipart form body, the only request body the client sends.
// Parsed here, in one pass, from the raw body; a form with no parts (what a client sends for a
// call without fields) is an empty form.

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace zq::peers {

class FormFields {
public:
    // Empty fields for a request without a body; nullopt (and a reason) for a body that is not a form.
    static std::optional<FormFields> fromRequest(const httplib::Request& req, std::string* error);
    // Parses a multipart/form-data body given its Content-Type.
    static std::optional<FormFields> parse(const std::string& contentType, const std::string& body, std::string* error);

    // Appends a field (url-encoded bodies and query parameters).
    void add(std::string name, std::string value) { m_fields.emplace_back(std::move(name), std::move(value)); }

    bool has(const std::string& name) const;
    // First value of the field, or nullopt when it is absent.
    std::optional<std::string> get(const std::string& name) const;
    // The value, or fallback when absent.
    std::string value(const std::string& name, const std::string& fallback = {}) const;
    // Every value of a repeated field, in the order sent.
    std::vector<std::string> all(const std::string& name) const;
    std::size_t size() const { return m_fields.size(); }
    // {"name": value} with repeated fields as arrays; for echoing requests back in tests.
    nlohmann::json toJson() const;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

} // namespace zq::peers
