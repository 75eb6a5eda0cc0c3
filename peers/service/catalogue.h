#pragma once
// The line catalogue: lookups by sn and IP, and the filtered queries of the line lists.

#include "servicedata.h"

#include <functional>
#include <unordered_map>

namespace zq::service {

struct LineQuery {
    Plan plan = Plan::S5;
    std::vector<std::string> countries; // codes or names; empty = any country
    std::string state; // name or code; empty = any
    std::string city;
    std::string postal; // prefix
    std::string isp; // ASN ("AS7922" or "7922") or ISP name
    std::optional<std::uint32_t> startIp;
    std::optional<std::uint32_t> endIp;
    int num = 20;
};

class Catalogue {
public:
    explicit Catalogue(std::vector<Line> lines);

    // Every line leaves through the one exit node of this service.
    void setExitServer(const std::string& hostPort);

    const std::vector<Line>& lines() const { return m_lines; }
    const Line* bySn(const std::string& sn) const;
    const Line* byIp(const std::string& ip) const;

    // Up to query.num matching lines in catalogue order, skipping those skip() rejects.
    std::vector<const Line*> query(const LineQuery& query, const std::function<bool(const Line&)>& skip = {}) const;

    static bool matches(const Line& line, const LineQuery& query);

private:
    std::vector<Line> m_lines;
    std::unordered_map<std::string, std::size_t> m_bySn;
    std::unordered_map<std::string, std::size_t> m_byIp;
};

} // namespace zq::service
