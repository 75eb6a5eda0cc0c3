// Controller: the views' list models. Each model shows one owner's list by weak references and
// follows it: the status signals that change a list refresh its model, and QML may refresh too.
#include "controller.h"

#include "linecatalogue.h"
#include "portforward.h"
#include "portinfo.h"
#include "porttable.h"
#include "processinfo.h"
#include "programlist.h"
#include "proxyserverinfo.h"
#include "recordlistmodel.h"
#include "savedlists.h"

using zq::catalogue::Plan;
using zq::lists::Kind;

void Controller::initModels()
{
    auto lineModel = [this](std::function<QList<QObject*>()> source) {
        auto* model = new RecordListModel(ProxyServerInfo::staticMetaObject, "qIp", this);
        model->setSource(std::move(source));
        return model;
    };
    m_lineModel = lineModel([this]() { return m_lines->lines(Plan::S5); });
    m_resiLineModel = lineModel([this]() { return m_lines->lines(Plan::ResiTraffic); });
    m_todayModel = lineModel([this]() { return m_savedLists->list(Kind::Today, Plan::S5); });
    m_resiTodayModel = lineModel([this]() { return m_savedLists->list(Kind::Today, Plan::ResiTraffic); });
    m_favouriteModel = lineModel([this]() { return m_savedLists->list(Kind::Favourite, Plan::S5); });
    m_resiFavouriteModel = lineModel([this]() { return m_savedLists->list(Kind::Favourite, Plan::ResiTraffic); });
    m_portForwardModel = new RecordListModel(PortInfo::staticMetaObject, "qPort", this);
    m_portForwardModel->setSource([this]() { return withoutProgramPort(m_forward->getPortForwordList()); });
    m_portSlotModel = new RecordListModel(PortInfo::staticMetaObject, "qPort", this);
    m_portSlotModel->setSource([this]() { return m_portTable->objects(); });

    // Connected before any QML handler, so a view that re-reads on the signal finds its model
    // already up to date.
    const auto refreshLines = [this]() {
        m_lineModel->refresh();
        m_resiLineModel->refresh();
    };
    const auto refreshToday = [this]() {
        m_todayModel->refresh();
        m_resiTodayModel->refresh();
    };
    const auto refreshFavourites = [this]() {
        m_favouriteModel->refresh();
        m_resiFavouriteModel->refresh();
    };
    const auto refreshSaved = [refreshLines, refreshToday, refreshFavourites]() {
        refreshLines();
        refreshToday();
        refreshFavourites();
    };
    connect(this, &Controller::getLineListStatus, this, [this]() { m_lineModel->refresh(); });
    connect(this, &Controller::getResiTrafficListStatus, this, [this]() { m_resiLineModel->refresh(); });
    // The unlimited today list has no view.
    for (auto signal : { &Controller::getTodayListStatus, &Controller::getTodayResiTrafficStatus })
        connect(this, signal, this, refreshToday);
    for (auto signal : { &Controller::getFavouriteListStatus, &Controller::setFavouriteStatus,
             &Controller::setDislikeStatus, &Controller::setFavouriteRemarkStatus })
        connect(this, signal, this, refreshFavourites);
    // A bind or a release moves lines between the line, today and favourite lists.
    connect(this, &Controller::setPortSessionStatus, this, refreshSaved);
    connect(this, &Controller::freePortStatus, this, refreshSaved);
    connect(this, &Controller::freeOnePortStatus, this, refreshSaved);
}

QList<QObject*> Controller::withoutProgramPort(const QList<QObject*>& entries) const
{
    QList<QObject*> shown;
    for (QObject* entry : entries) {
        auto* slot = qobject_cast<PortInfo*>(entry);
        if (slot && slot->getPort() != programPort)
            shown.append(slot);
    }
    return shown;
}

QAbstractItemModel* Controller::lineModel() const
{
    return m_lineModel;
}
QAbstractItemModel* Controller::resiLineModel() const
{
    return m_resiLineModel;
}
QAbstractItemModel* Controller::todayModel() const
{
    return m_todayModel;
}
QAbstractItemModel* Controller::resiTodayModel() const
{
    return m_resiTodayModel;
}
QAbstractItemModel* Controller::favouriteModel() const
{
    return m_favouriteModel;
}
QAbstractItemModel* Controller::resiFavouriteModel() const
{
    return m_resiFavouriteModel;
}
QAbstractItemModel* Controller::portForwardModel() const
{
    return m_portForwardModel;
}
QAbstractItemModel* Controller::portSlotModel() const
{
    return m_portSlotModel;
}
QAbstractItemModel* Controller::programModel() const
{
    return m_programs->model();
}
