#pragma once
// The one backend object the QML talks to. This header is the index of what QML may call;
// each invokable hands its work to the component that owns it.

#include "apppaths.h"
#include "endpoints.h"
#include "payloadcodec.h"

#include <QAbstractItemModel>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTimer;
class QUdpSocket;
class RecordListModel;
class Account;
class RequestLayer;
namespace zq::ports {
class PortTable;
class PortBindings;
class PortForward;
class Upkeep;
} // namespace zq::ports
namespace zq::lists {
class SavedLists;
class TodayLists;
class Favourites;
} // namespace zq::lists
namespace zq::helper {
class HelperProcess;
}
// --- per-program proxy ---
namespace zq::programproxy {
class ProgramList;
class DriverChannel;
} // namespace zq::programproxy
// --- catalogue ---
namespace zq::catalogue {
class AreaCatalogue;
class LineCatalogue;
} // namespace zq::catalogue

class Controller : public QObject {
    Q_OBJECT
    // The views' list models (C++ owned). Each follows its owner's list; the lists behind the
    // line and today models refresh on the status signals that change them.
    Q_PROPERTY(QAbstractItemModel* lineModel READ lineModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* resiLineModel READ resiLineModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* todayModel READ todayModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* resiTodayModel READ resiTodayModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* favouriteModel READ favouriteModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* resiFavouriteModel READ resiFavouriteModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* portForwardModel READ portForwardModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* portSlotModel READ portSlotModel CONSTANT)
    Q_PROPERTY(QAbstractItemModel* programModel READ programModel CONSTANT)
public:
    // The process-wide instance, created on first use.
    static Controller* instance();

    // documentsDir replaces the system's Documents location (tests); appDir the installation folder.
    explicit Controller(
        const QString& documentsDir = QString(), const QString& appDir = QString(), QObject* parent = nullptr);
    ~Controller() override;

    // Start-up initialisation: helper ports, settings, saved lists, port table, ASN data.
    bool init();
    // Forced kill of every process with this executable name and its children.
    void killProcess(const QString& name);
    // Kills helpers of this user left over from an earlier run of this installation.
    void killStaleHelpers();

    // --- versions and accessors ---
    Q_INVOKABLE QString getVersion() const;
    Q_INVOKABLE QString getShowVersion() const;
    Q_INVOKABLE bool getIsLogin() const { return isLogin; }
    Q_INVOKABLE void setIsLogin(bool value) { isLogin = value; }
    Q_INVOKABLE bool getAutoLogin() const { return autoLogin; }
    Q_INVOKABLE void setAutoLogin(bool value) { autoLogin = value; }
    Q_INVOKABLE bool getIsStart() const;
    Q_INVOKABLE void setIsStart(bool value);
    Q_INVOKABLE int getLocalPort() const { return apiPort; }
    Q_INVOKABLE int getPortForProgrameProxy() const { return programPort; }
    Q_INVOKABLE QString getLocalIp() const { return localIp; }
    Q_INVOKABLE QString getProxyServerAddress() const;
    Q_INVOKABLE int getStringLength(const QString& msg) const { return msg.length(); }
    Q_INVOKABLE void qmlSleep(int sec);
    Q_INVOKABLE QStringList getLangList() const;

    // --- settings file ---
    Q_INVOKABLE bool readConfigFromFile();
    Q_INVOKABLE void saveConfigToFile();

    // --- local proxy helper ---
    Q_INVOKABLE bool startProxy();
    Q_INVOKABLE void stopProxy();
    Q_INVOKABLE void getServerStatus();
    zq::helper::HelperProcess* helper() const { return m_helper; }

    // --- host helpers ---
    Q_INVOKABLE QString getJumpUrl(QString type);
    Q_INVOKABLE void jumpUrl(QString url);
    Q_INVOKABLE bool runProgrameAsUAC(QString name);
    // The product website, as the update screen shows it for manual downloads.
    Q_INVOKABLE QString getWebsiteUrl() const { return QStringLiteral(ZQ_WEB_BASE); }

    // --- port table ---
    Q_INVOKABLE void createPortInfoList();
    Q_INVOKABLE QList<QObject*> getPortInfoList();
    Q_INVOKABLE int getStartPort() const;
    Q_INVOKABLE int getPortNum() const;
    Q_INVOKABLE void setPortNum(int value);
    Q_INVOKABLE QString setPortNumStr(QString start, QString value);
    Q_INVOKABLE QString getPortRange();
    Q_INVOKABLE void checkPortStatus(int port);
    zq::ports::PortTable* portTable() const { return m_portTable; }

    // --- binding and release ---
    Q_INVOKABLE void setPortSession(QString sessionId, QString ip, int port, QString server, QString sn, int openPort,
        QString area, QString region, bool isNeedCharge, bool usable);
    Q_INVOKABLE void setPortSessionS5U(QString sessionId, QString ip, int port, QString server, QString sn,
        int openPort, QString area, QString region, bool isNeedCharge, bool usable);
    Q_INVOKABLE void setPortSessionResiTraffic(QString sessionId, QString ip, int port, QString server, QString sn,
        QString area, QString region, bool usable, QString planTypeKey);
    Q_INVOKABLE void checkSnIsExist(QString sn, QString serverIp, QString username, QString sessionId);
    Q_INVOKABLE void freeOneProxyPort(int port);
    Q_INVOKABLE void freeProxyPort();
    Q_INVOKABLE int freeResidentTrafficPort();
    Q_INVOKABLE void resetPort(QString startPort, QString portNum);
    zq::ports::PortBindings* bindings() const { return m_bindings; }

    // --- upkeep and reconciliation ---
    Q_INVOKABLE void initTimer();
    Q_INVOKABLE void startTimer();
    Q_INVOKABLE void stopTimer();
    Q_INVOKABLE void doLocalEvent();
    Q_INVOKABLE void compareIpAndPortState();
    zq::ports::Upkeep* upkeep() const { return m_upkeep; }

    // --- today and favourite lists ---
    Q_INVOKABLE void getTodayList(QString plantype);
    Q_INVOKABLE void getUnlimitTodayList(QString type);
    Q_INVOKABLE void getTodayListV2();
    Q_INVOKABLE void setAllTodayPortSession();
    Q_INVOKABLE void setAllTodayUnlimitPortSession();
    Q_INVOKABLE void getFavouriteList(QString plantype = QString());
    Q_INVOKABLE QList<QObject*> getFavouriteInfo();
    Q_INVOKABLE QList<QObject*> getFavouriteResiTrafficInfo();
    Q_INVOKABLE QList<QObject*> getFavouriteUnlimitInfo();
    Q_INVOKABLE void setFavourite(QString username, QString ip, QString area, QString sn, QString server,
        QString sessionId, QString plantype = QString());
    Q_INVOKABLE void setFavouriteUnlimit(
        QString username, QString ip, QString area, QString sn, QString server, QString sessionId);
    Q_INVOKABLE void setDislikeIP(
        QString username, QString ip, QString sn, QString server, QString sessionId, QString plantype = QString());
    Q_INVOKABLE void setDislikeIPUnlimit(QString username, QString ip, QString sn, QString server, QString sessionId);
    Q_INVOKABLE void setFavouriteRemark(QString ip, QString planType, QString remarks);
    zq::lists::TodayLists* todayLists() const { return m_today; }
    zq::lists::Favourites* favourites() const { return m_favourites; }

    // --- today search, port-forward view and export ---
    Q_INVOKABLE QList<QObject*> searchTodayList(QString type, QString countryName, QString stateName, QString cityName,
        QString bindType, QString startIp, QString endIp);
    Q_INVOKABLE QStringList searchBindType(QString text);
    Q_INVOKABLE QList<QObject*> getPortForwordList();
    Q_INVOKABLE QString getCopyAllInfo();
    Q_INVOKABLE QString createApiLink(QString country, QString state, QString city, QString zip, QString isp,
        QString num, QString startPort, QString dataType, QString startIP, QString endIP);
    // The key the helper asks of LAN callers of the bulk link (the worked examples carry it too).
    Q_INVOKABLE QString getApiLinkKey();

    // --- saved lists ---
    Q_INVOKABLE bool saveTodayList();
    Q_INVOKABLE bool saveTodayUnlimitList();
    Q_INVOKABLE bool saveTodayResiTrafficList();
    Q_INVOKABLE bool saveFavouriteList();
    Q_INVOKABLE bool saveFavouriteUnlimitList();
    Q_INVOKABLE bool saveFavouriteResiTrafficList();
    Q_INVOKABLE bool readTodayListInfo(QString fileName);
    Q_INVOKABLE bool readTodayUnlimitListInfo(QString fileName);
    Q_INVOKABLE bool readTodayResidentTrafficListInfo(QString fileName);
    Q_INVOKABLE bool readFavouriteListInfo(QString fileName);
    Q_INVOKABLE bool readFavouriteUnlimitListInfo(QString fileName);
    Q_INVOKABLE bool readFavouriteResidentTrafficListInfo(QString fileName);
    Q_INVOKABLE bool saveJsonFile(QList<QObject*> fname, QString savefname);
    Q_INVOKABLE QList<QObject*> getTodayProxyServerInfo();
    Q_INVOKABLE QList<QObject*> getTodayS5UnlimitProxyServerInfo();
    Q_INVOKABLE QList<QObject*> getTodayResiTrafficProxyServerInfo();
    zq::lists::SavedLists* savedLists() const { return m_savedLists; }

    // --- account ---
    Q_INVOKABLE void login(const QString& username, const QString& passwd);
    Q_INVOKABLE void loginOut();
    Q_INVOKABLE void getConfig();
    Q_INVOKABLE void checkIp();
    Q_INVOKABLE void checkPorxy();
    Q_INVOKABLE void getUserIpNumber();
    Q_INVOKABLE void getUserExpTime();
    Q_INVOKABLE void getUserResiTraffic();
    Q_INVOKABLE void checkUpdate();
    Q_INVOKABLE void downloadUpdateFile(const QString& interfaceStr);
    Q_INVOKABLE QString getUpdateFileName() const;
    // Starts a program of the data folder detached (the downloaded installer).
    Q_INVOKABLE bool runProgrameByName(const QString& name);
    Q_INVOKABLE void getPriceInfo();
    RequestLayer* requests() const { return m_requests; }
    Account* account() const { return m_account; }

    // --- catalogue ---
    Q_INVOKABLE void getAreaList();
    Q_INVOKABLE bool readAreaList();
    Q_INVOKABLE bool readASNInfo();
    Q_INVOKABLE QStringList searchAsn(QString asn);
    Q_INVOKABLE QStringList getCountryNameList();
    Q_INVOKABLE QStringList searchCountryNameList(QString cName);
    Q_INVOKABLE QStringList getStateNameList(QString cName);
    Q_INVOKABLE QStringList searchStateNameList(QString cName, QString sName);
    Q_INVOKABLE QStringList getCityNameList(QString cName, QString sName);
    Q_INVOKABLE QStringList searchCityNameList(QString coName, QString sName, QString cName);
    Q_INVOKABLE void getLineList(
        QString countryName, QString stateName, QString cityName, QString zipNum, int num = 20);
    Q_INVOKABLE void getLineListV2(QString countryName, QString stateName, QString cityName, QString zipNum,
        QString isp, QString startIp, QString endIp, int num = 20);
    Q_INVOKABLE void getResiTrafficLineList(QString countryName, QString stateName, QString cityName, QString zipNum,
        QString isp, QString startIp, QString endIp, int num = 20, QString type = QStringLiteral("flow"));
    Q_INVOKABLE void getUnlimitLineList(int num = 20);
    Q_INVOKABLE QList<QObject*> getProxyServerInfo();
    Q_INVOKABLE QList<QObject*> getProxyServerUnlimitInfo();
    Q_INVOKABLE QList<QObject*> getProxyServerResiTrafficInfo();
    void LineListSort(QString listName, QString orderBy);
    zq::catalogue::AreaCatalogue* areas() const { return m_areas; }
    zq::catalogue::LineCatalogue* lines() const { return m_lines; }

    // --- view models ---
    QAbstractItemModel* lineModel() const;
    QAbstractItemModel* resiLineModel() const;
    QAbstractItemModel* todayModel() const;
    QAbstractItemModel* resiTodayModel() const;
    QAbstractItemModel* favouriteModel() const;
    QAbstractItemModel* resiFavouriteModel() const;
    QAbstractItemModel* portForwardModel() const;
    // The port table's slots (the row menu's port list).
    QAbstractItemModel* portSlotModel() const;
    QAbstractItemModel* programModel() const;

    // Read by components and tests.
    const AppPaths& paths() const { return m_paths; }
    const QString& unionId() const { return m_unionId; }
    int notificationPort() const { return m_notificationPort; }
    const zq::ServiceAddresses& addresses() const { return m_addresses; }
    const PayloadCodec& codec() const { return m_codec; }

signals:
    void proxyClientMessage(QString msg);
    void interfaceTimeout(QString type);

    // --- local proxy helper ---
    void sendServerStatus(bool status, QString message);
    // Declared for the screens; nothing emits them.
    void changeSessionStatus(bool status, QString msg);
    void addProxyStatus(bool status, QString msg);
    void deleteProxyStatus(bool status, QString msg);
    void getSuccessPortStatus(bool status);
    void sendLocalPort(QString port);

    // --- binding and release ---
    void setPortSessionStatus(bool status, QString message, QString ip);
    void bindPortForProgramProxyStatus(bool status, QString message);
    void freeOnePortStatus(bool status, QString message, int port);
    void freePortStatus(bool status, QString message);

    // --- today and favourite lists ---
    void getTodayListStatus(bool status, QString message);
    void getTodayResiTrafficStatus(bool status, QString message);
    void getTodayUnlimitListStatus(bool status, QString message);
    void getFavouriteListStatus(bool status, QString message);
    void setFavouriteStatus(bool status, QString message);
    void setDislikeStatus(bool status, QString message);
    void setFavouriteRemarkStatus(bool status, QString message);
    // Declared for the screens; nothing emits them.
    void getFavouriteResiTrafficListStatus(bool status, QString message);
    void getFavouriteUnlimitListStatus(bool status, QString message);

    // --- catalogue ---
    void getAreaListStatus(bool status, QString message);
    void getLineListStatus(bool status, QString message);
    void getUnlimitLineListStatus(bool status, QString message);
    void getResiTrafficListStatus(bool status, QString message);

    // --- account ---
    void loginStatus(bool status, QString message);
    void loginOutStatus(bool status, QString message);
    void checkIpStatus(bool status, QString ip, QString message, int code);
    void checkProxyStatus(bool Pstatus);
    void getUserIpNumsStatus(bool status, QString message);
    void getUserExpTimeStatus(bool status, QString message);
    void getUserResiTrafficInfoStatus(bool status, QString message);
    void userNoIpNums();
    void userNoIpTraffic();
    void userNoValidTime();
    void updateStatus(bool status, QString message);
    void sendDownloadUpdatePraProgress(int currentValue, int maxValue);
    void sendDownloadFileSuccess();
    void sendDownloadFileFailed(QString message);
    void priceInfo(bool status, QList<QString> IPNums, QList<QString> currentPrice, QList<QString> beforePrice,
        QList<QString> unitPrice);

private:
    QString m_appDir;
    zq::ServiceAddresses m_addresses;
    PayloadCodec m_codec;
    AppPaths m_paths;

    QString localIp;
    QString m_macAddress;
    QString m_unionId;

    int apiPort;
    int programPort = 0;
    int m_notificationPort = 0;

    bool isLogin = false;
    bool autoLogin = true;
    bool encodeDataFiles = true;

    QUdpSocket* m_notificationSocket = nullptr;
    QTimer* timer4LocalEvent = nullptr;
    QTimer* timer4AreaList = nullptr;
    QTimer* timer4TodayList = nullptr;

    // --- account ---
    void initAccount();
    // A different account logged in: its saved lists replace the old ones (lists not built yet).
    void reloadListsForAccount(const QString& username);
    // The program list of the account that logged in (program list not built yet).
    void readProgramListForAccount(const QString& username);
    RequestLayer* m_requests = nullptr;
    Account* m_account = nullptr;

    // --- catalogue ---
    void initCatalogue();
    zq::catalogue::AreaCatalogue* m_areas = nullptr;
    zq::catalogue::LineCatalogue* m_lines = nullptr;

    // --- ports, saved lists, helper ---
    void initPorts();
    // Whether another owner's list (a line list) or a port slot still holds a record. Views,
    // the port-forward view and search results hold records weakly and are not asked.
    bool heldOutsideSavedLists(QObject* record) const;
    zq::ports::PortTable* m_portTable = nullptr;
    zq::lists::SavedLists* m_savedLists = nullptr;
    zq::ports::PortBindings* m_bindings = nullptr;
    zq::helper::HelperProcess* m_helper = nullptr;

    // --- saved lines, upkeep, views ---
    void initSavedLines();
    zq::lists::TodayLists* m_today = nullptr;
    zq::lists::Favourites* m_favourites = nullptr;
    zq::ports::Upkeep* m_upkeep = nullptr;
    zq::ports::PortForward* m_forward = nullptr;

    // --- view models ---
    void initModels();
    // The port-forward entries a view shows: all but the per-program proxy's port.
    QList<QObject*> withoutProgramPort(const QList<QObject*>& entries) const;
    RecordListModel* m_lineModel = nullptr;
    RecordListModel* m_resiLineModel = nullptr;
    RecordListModel* m_todayModel = nullptr;
    RecordListModel* m_resiTodayModel = nullptr;
    RecordListModel* m_favouriteModel = nullptr;
    RecordListModel* m_resiFavouriteModel = nullptr;
    RecordListModel* m_portForwardModel = nullptr;
    RecordListModel* m_portSlotModel = nullptr;

    // --- per-program proxy ---
public:
    Q_INVOKABLE void addPrograme(QString name);
    Q_INVOKABLE void delPrograme(QString name);
    Q_INVOKABLE QList<QObject*> getProcessInfoList();
    // The account's program list file (user name + "_progameList.json"), relative to configDir.
    bool readProgramList(const QString& fileName);
    bool saveProgramList(const QString& fileName);
    Q_INVOKABLE void startProgramProxyThread();
    Q_INVOKABLE void stopProgramProxy();
    Q_INVOKABLE bool checkDriverStatus();
    Q_INVOKABLE bool getIsDriverRun() const;
    Q_INVOKABLE bool clearBrowserCache(bool chrome, bool firefox, bool ie, bool edge);
    zq::programproxy::ProgramList* programList() const { return m_programs; }
    zq::programproxy::DriverChannel* driver() const { return m_driver; }

signals:
    void programProxyStatus(QString message);

private:
    void initProgramProxy();
    zq::programproxy::ProgramList* m_programs = nullptr;
    zq::programproxy::DriverChannel* m_driver = nullptr;
    // --- end per-program proxy ---
};
