#include "catalogue.h"

#include <algorithm>
#include <cctype>

namespace zq::service {

namespace {

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

bool startsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// "random" and the empty text mean no preference.
bool isAny(const std::string& filter)
{
    return filter.empty() || filter == "random";
}

bool placeMatches(const std::string& filter, const std::string& value)
{
    return isAny(filter) || equalsNoCase(filter, value);
}

bool ispMatches(const std::string& filter, const Line& line)
{
    if (filter.empty())
        return true;
    if (equalsNoCase(filter, line.isp) || equalsNoCase(filter, line.asn))
        return true;
    // "7922" names the same ASN as "AS7922".
    return startsWithNoCase(line.asn, "AS") && equalsNoCase(filter, line.asn.substr(2));
}

} // namespace

Catalogue::Catalogue(std::vector<Line> lines)
    : m_lines(std::move(lines))
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        m_bySn.emplace(m_lines[i].sn, i);
        m_byIp.emplace(m_lines[i].ip, i);
    }
}

void Catalogue::setExitServer(const std::string& hostPort)
{
    for (auto& line : m_lines)
        line.server = hostPort;
}

const Line* Catalogue::bySn(const std::string& sn) const
{
    auto it = m_bySn.find(sn);
    return it == m_bySn.end() ? nullptr : &m_lines[it->second];
}

const Line* Catalogue::byIp(const std::string& ip) const
{
    auto it = m_byIp.find(ip);
    return it == m_byIp.end() ? nullptr : &m_lines[it->second];
}

bool Catalogue::matches(const Line& line, const LineQuery& q)
{
    if (line.plan != q.plan)
        return false;
    bool anyCountry = true;
    bool countryHit = false;
    for (const auto& c : q.countries) {
        if (isAny(c))
            continue;
        anyCountry = false;
        if (equalsNoCase(c, line.iso) || equalsNoCase(c, line.country))
            countryHit = true;
    }
    if (!anyCountry && !countryHit)
        return false;
    if (!placeMatches(q.state, line.state) || !placeMatches(q.city, line.city))
        return false;
    if (!isAny(q.postal) && !startsWithNoCase(line.postal, q.postal))
        return false;
    if (!ispMatches(q.isp, line))
        return false;
    if (q.startIp && line.ipValue < *q.startIp)
        return false;
    if (q.endIp && line.ipValue > *q.endIp)
        return false;
    return true;
}

std::vector<const Line*> Catalogue::query(const LineQuery& q, const std::function<bool(const Line&)>& skip) const
{
    std::vector<const Line*> out;
    for (const auto& line : m_lines) {
        if (int(out.size()) >= q.num)
            break;
        if (matches(line, q) && !(skip && skip(line)))
            out.push_back(&line);
    }
    return out;
}

} // namespace zq::service
