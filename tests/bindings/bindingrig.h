#pragma once
// The binding components of one client, wired as the Controller wires them, with every request
// captured at the request seam instead of sent.

#include "clock.h"
#include "endpoints.h"
#include "linecatalogue.h"
#include "payloadcodec.h"
#include "portbindings.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QJsonArray>
#include <QTemporaryDir>

using namespace zq::ports;
using zq::catalogue::FormFields;
using zq::catalogue::LineCatalogue;
using zq::catalogue::Plan;
using zq::lists::Kind;
using zq::lists::SavedLists;

struct Sent {
    QString url;
    FormFields fields;
    QString tag;
    QByteArray field(const QString& name) const
    {
        for (const auto& f : fields)
            if (f.first == name)
                return f.second;
        return {};
    }
    bool has(const QString& name) const
    {
        for (const auto& f : fields)
            if (f.first == name)
                return true;
        return false;
    }
};

inline QJsonObject lineObject(const QString& ip)
{
    return { { "ip", ip }, { "sn", "c24=" }, { "server", "127.0.0.1:9" }, { "country", "US" }, { "city", "" },
        { "state", "" }, { "postal", "" }, { "isp", "" }, { "iso", "US" }, { "plan_type_key", "pk-unlimited-1" } };
}

inline QJsonObject success(const QString& status = "success", const QString& message = "success")
{
    return { { "code", 0 }, { "msg", "success" },
        { "data", QJsonObject { { "bind_status", status }, { "bind_message", message } } } };
}

inline ProxyServerInfo* rec(QObject* o)
{
    return qobject_cast<ProxyServerInfo*>(o);
}

struct Rig {
    QTemporaryDir dir;
    PayloadCodec codec;
    zq::ServiceAddresses addresses;
    PortTable table;
    SavedLists lists { &codec, dir.path() };
    LineCatalogue lines { &codec, "union", nullptr };
    PortBindings bindings { &table, &lists, &lines, &codec, &addresses };
    QList<Sent> sent;

    explicit Rig(int start = 41000, int count = 6)
    {
        UserInfo::instance()->setUserName("unit");
        UserInfo::instance()->setIpNums(5);
        table.setStartPort(start);
        table.setPortNum(count);
        table.setReservedPorts(0, 0);
        table.createPortInfoList({}, {});
        lists.setPortTable(&table);
        lists.setRetainCheck([this](QObject* r) {
            for (Plan p : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic })
                if (lines.lines(p).contains(r))
                    return true;
            return table.holds(r);
        });
        for (Plan p : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic }) {
            lines.setTodayList(p, &lists.list(Kind::Today, p));
            lines.setFavouriteList(p, &lists.list(Kind::Favourite, p));
        }
        bindings.setPoster([this](const QString& url, const FormFields& f, const QString& tag) {
            sent.append({ url, f, tag });
        });
    }
    void offer(Plan plan, const QStringList& ips)
    {
        QJsonArray data;
        for (const QString& ip : ips)
            data.append(lineObject(ip));
        const QJsonObject reply { { "code", 0 }, { "data", data } };
        if (plan == Plan::S5)
            lines.dealProxyServerInfo(reply);
        else if (plan == Plan::ResiTraffic)
            lines.dealProxyServerResidentTrafficInfo(reply);
        else
            lines.dealProxyServerUnlimitInfo(reply);
    }
    ProxyServerInfo* line(Plan plan, int i = 0) { return rec(lines.lines(plan).at(i)); }
    ProxyServerInfo* saved(Kind kind, Plan plan, const QString& ip)
    {
        auto* r = new ProxyServerInfo;
        r->setIp(ip);
        lists.adopt(r);
        lists.list(kind, plan).append(r);
        return r;
    }
};
