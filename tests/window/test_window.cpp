// The real main.qml with the real Controller, zq-service and clientProxy, used as a person uses
// it: clicks and typing on controls found by objectName. With ZQ_SCREENS_DIR set it also saves a
// picture of every screen it passes (scripts/screens).
#include "../bindings/peerfixture.h"
#include "account.h"
#include "controller.h"
#include "helperprocess.h"
#include "portinfo.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "qmllanguage.h"
#include "qmlregistration.h"
#include "recordlistmodel.h"
#include "userinfo.h"
#include "windowdriver.h"

#include <QApplication>
#include <QClipboard>
#include <QJSValue>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QSignalSpy>
#include <QStandardPaths>
#include <csignal>

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void startupWithAutoLogin();
    void loginDialogStates();
    void proxySwitchStopsAndStarts();
    void settingsAppliesARange();
    void pricingShowsTheServicePrices();
    void commonDialogs();
    void forcedUpdateOffersNoCancel();
    void traditionalChinese();
    void userPathOnS5();
    void userPathOnResidential();
    void forwardToAPickedPortAndRefusals();
    void favouritesAddRemarkRemove();
    void searchBarRules();
    void apiPageLink();
    void todaySelectionSurvivesARefresh();
    void searchAfterTheRangeShrinksUnderTheForwardList();
    void closeHidesAndExitStops();

private:
    bool invoke(const char* function);
    // Records shown by a view ("lineView", "todayView", ...).
    QList<ProxyServerInfo*> records(const QString& view) const;
    // IP of a view's current row, empty without one.
    QString currentIp(const QString& view) const;
    // Picks `text` from a suggestion box's list; false when the list does not offer it.
    bool pick(const QString& box, const QString& text);
    // Right-click on the first row of a view, then a menu item; waits for the bind result.
    bool connectFirstRow(const QString& view);
    QString toast() const { return m_ui.text("toastText"); }
    // Forgets the last toast, so that a wait sees only the next one.
    void resetToast() { m_ui.object("toast")->setProperty("text", QString()); }

    peers::Service m_service;
    QTemporaryDir m_home, m_state;
    QQmlApplicationEngine* m_engine = nullptr;
    QmlLanguage* m_language = nullptr;
    Controller* m_c = nullptr;
    WindowDriver m_ui;
    int m_start = 0;
};

void TestWindow::initTestCase()
{
    // The client's Documents folder lives in a home of its own, with a remembered account.
    qputenv("HOME", m_home.path().toUtf8());
    qunsetenv("XDG_DOCUMENTS_DIR");
    QStandardPaths::setTestModeEnabled(false);
    const QString configDir = m_home.path() + "/Documents/ZQ_Config";
    QVERIFY(QDir().mkpath(configDir));
    m_start = peers::freeRange(10);
    QVERIFY(m_start > 0);
    QFile config(configDir + "/proxy.json");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QJsonDocument(QJsonObject { { "autoLogin", true }, { "username", "demo" }, { "password", "demo123" },
                                   { "startPort", m_start }, { "portNum", 10 }, { "uid", 0 }, { "email", "" } })
                     .toJson());
    config.close();
    QVERIFY(m_service.start(m_state.filePath("state.json")));

    // What the installation carries beside the program.
    const QString appDir = QCoreApplication::applicationDirPath();
    QDir().mkpath(appDir + "/language");
    QFile::remove(appDir + "/language/zh_TR.qm");
    QVERIFY(QFile::copy(QStringLiteral(ZQ_BIN_DIR "/language/zh_TR.qm"), appDir + "/language/zh_TR.qm"));
    QFile::remove(appDir + "/asn.txt");
    QVERIFY(QFile::copy(QStringLiteral(ZQ_BIN_DIR "/asn.txt"), appDir + "/asn.txt"));

    m_c = Controller::instance();
    QVERIFY(m_c->paths().configDir.startsWith(m_home.path()));
    m_c->init();
    m_c->helper()->setProgram(QStringLiteral(ZQ_BIN_DIR "/clientProxy"));
    registerQmlTypes();
    m_engine = new QQmlApplicationEngine;
    m_language = new QmlLanguage(qApp, m_engine);
    m_engine->rootContext()->setContextProperty(QStringLiteral("qmlLanguage"), m_language);
    m_engine->rootContext()->setContextProperty(QStringLiteral("appDir"), appDir);
    m_engine->load(QUrl(QStringLiteral("qrc:/main.qml")));
    QCOMPARE(m_engine->rootObjects().size(), 1);
    auto* window = qobject_cast<QQuickWindow*>(m_engine->rootObjects().first());
    QVERIFY(window);
    m_ui.setWindow(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->size(), QSize(1220, 783));
    m_ui.shot("start");
}

void TestWindow::cleanupTestCase()
{
    if (m_c)
        m_c->stopProxy();
    delete m_engine;
    delete m_language;
}

bool TestWindow::invoke(const char* function)
{
    return QMetaObject::invokeMethod(m_ui.window(), function);
}

void TestWindow::startupWithAutoLogin()
{
    // The service offers 2.0.8: the update screen comes first.
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.shown("updateDialog"), 10000);
    QVERIFY(m_ui.text("updateHeadline").startsWith("Found a new version:"));
    QVERIFY(m_ui.shown("updateCancel"));
    m_ui.shot("update");
    QVERIFY(m_ui.click("updateCancel"));
    QTRY_VERIFY(!m_ui.shown("updateDialog"));

    // Cancel goes on with the start-up: automatic login, environment check, proxy on.
    QTRY_VERIFY_WITH_TIMEOUT(m_c->getIsLogin(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_c->getIsStart(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.text("ipCountText").endsWith(" IPs"), 10000);
    QVERIFY(!m_ui.text("ipCountText").startsWith("--"));
    QTRY_COMPARE_WITH_TIMEOUT(m_ui.property("mainWindow", "isProxyStart").toBool(), true, 10000);
    QCOMPARE(m_ui.text("localIpText"), QStringLiteral("127.0.0.1"));
    QVERIFY(!m_ui.shown("envBanner"));
    QTRY_VERIFY_WITH_TIMEOUT(!m_c->getProxyServerInfo().isEmpty(), 10000);
    m_ui.shot("logged_in_s5");

    QVERIFY(m_ui.click("tabResi"));
    QTRY_VERIFY(m_ui.shown("resiRow"));
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.text("resiRemain") != "-- G", 10000);
    QVERIFY(!m_ui.shown("pageApi"));
    m_ui.shot("logged_in_resi");
    QVERIFY(m_ui.click("tabS5"));
    QTRY_VERIFY(m_ui.shown("s5Row"));
}

void TestWindow::loginDialogStates()
{
    // Logging out opens the login dialog and stops the proxy.
    QVERIFY(m_ui.click("accountButton"));
    QTRY_VERIFY(m_ui.shown("popupAccount"));
    QVERIFY(m_ui.click("popupAccount"));
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.shown("loginDialog"), 10000);
    QTRY_VERIFY(!m_c->getIsStart());
    QCOMPARE(m_ui.property("loginUser", "text").toString(), QStringLiteral("demo"));
    QCOMPARE(m_ui.property("loginPassword", "text").toString(), QStringLiteral("demo123"));

    // Auto-login off: the dialog keeps the user name but not the password.
    QVERIFY(m_ui.click("loginAutoMark"));
    QVERIFY(!m_c->getAutoLogin());
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("loginDialog"));
    QVERIFY(m_ui.click("accountButton"));
    QTRY_VERIFY(m_ui.shown("popupAccount"));
    QCOMPARE(m_ui.property("popupAccount", "btText").toString(), QStringLiteral("Login"));
    QVERIFY(m_ui.click("popupAccount"));
    QTRY_VERIFY(m_ui.shown("loginDialog"));
    QCOMPARE(m_ui.property("loginUser", "text").toString(), QStringLiteral("demo"));
    QCOMPARE(m_ui.property("loginPassword", "text").toString(), QString());

    // Nothing is sent without a password; a wrong one shows the service's reason.
    QSignalSpy login(m_c, &Controller::loginStatus);
    QVERIFY(m_ui.click("loginButton"));
    QTest::qWait(300);
    QCOMPARE(login.count(), 0);
    QVERIFY(m_ui.type("loginPassword_input", "wrong-password"));
    QVERIFY(m_ui.click("loginButton"));
    QTRY_COMPARE_WITH_TIMEOUT(m_ui.text("loginError"), QStringLiteral("Username or password is incorrect"), 10000);
    m_ui.shot("login_error");
    QVERIFY(m_ui.type("loginPassword_input", "demo123"));
    QVERIFY(m_ui.text("loginError").isEmpty()); // typing clears the error
    m_ui.key(Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!m_ui.shown("loginDialog"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(m_c->getIsStart(), 15000);
    m_c->setAutoLogin(true);
}

void TestWindow::proxySwitchStopsAndStarts()
{
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.property("mainWindow", "isProxyStart").toBool(), 10000);
    const qint64 pid = m_c->helper()->process()->processId();
    QVERIFY(pid > 0);
    QVERIFY(m_ui.click("proxySwitch"));
    QTRY_VERIFY(!m_c->getIsStart());
    QVERIFY(!m_ui.property("mainWindow", "isProxyStart").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(QStringLiteral("/proc/%1").arg(pid))
            || QFile(QStringLiteral("/proc/%1/stat").arg(pid)).open(QIODevice::ReadOnly) == false,
        5000);
    QVERIFY(m_ui.click("proxySwitch"));
    QTRY_VERIFY_WITH_TIMEOUT(m_c->getIsStart(), 10000);
    QTRY_VERIFY(m_ui.property("mainWindow", "isProxyStart").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.text("toastText") == "Start success!", 5000);
}

void TestWindow::settingsAppliesARange()
{
    QVERIFY(m_ui.click("tabSettings"));
    QTRY_VERIFY(m_ui.shown("settingsPage"));
    QVERIFY(!m_ui.shown("pageProxyList"));
    const int next = peers::freeRange(8);
    QVERIFY(m_ui.type("settingsBeginPort_input", QString::number(next)));
    QVERIFY(m_ui.type("settingsPortNumber_input", "8"));
    QVERIFY(m_ui.click("settingsUsed"));
    QTRY_VERIFY(m_ui.property("settingsStatus", "text").toString().endsWith("0 port occupied"));
    QVERIFY(
        m_ui.property("settingsStatus", "text").toString().startsWith(QStringLiteral("Port %1 can be used").arg(next)));
    QCOMPARE(m_c->getStartPort(), next);
    QCOMPARE(m_c->getPortRange(), QStringLiteral("%1-%2").arg(next).arg(next + 7));
    m_ui.shot("settings_report");
    // Out of the validators' ranges: neither is an acceptable entry.
    QVERIFY(m_ui.type("settingsPortNumber_input", "501"));
    QVERIFY(!m_ui.property("settingsPortNumber_input", "acceptableInput").toBool());
    QVERIFY(m_ui.type("settingsBeginPort_input", "999"));
    QVERIFY(!m_ui.property("settingsBeginPort_input", "acceptableInput").toBool());
}

void TestWindow::pricingShowsTheServicePrices()
{
    QVERIFY(m_ui.click("tabPricing"));
    QTRY_VERIFY(m_ui.shown("pricingPage"));
    QVERIFY(!m_ui.shown("proxySwitch"));
    QTRY_VERIFY_WITH_TIMEOUT(m_ui.property("priceCard1", "currentPrice").toString() != "---", 10000);
    QCOMPARE(m_ui.property("priceCard0", "currentPrice").toString(), QStringLiteral("4/10IPs"));
    m_ui.shot("pricing_personal");
    QVERIFY(m_ui.click("pricingEnterprise"));
    QTRY_VERIFY(m_ui.property("priceCard0", "ipNumText").toString().isEmpty());
    m_ui.shot("pricing_enterprise");
    QVERIFY(m_ui.click("tabS5"));
}

void TestWindow::commonDialogs()
{
    QVERIFY(QMetaObject::invokeMethod(
        m_ui.window(), "showTips", Q_ARG(QVariant, QStringLiteral("Please start proxy first!"))));
    QTRY_VERIFY(m_ui.shown("tipsDialog"));
    QCOMPARE(m_ui.text("tipsText"), QStringLiteral("Please start proxy first!"));
    m_ui.shot("tips");
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("tipsDialog"));

    QVERIFY(
        QMetaObject::invokeMethod(m_ui.window(), "openTipsBuy", Q_ARG(QVariant, QStringLiteral("ResidentTraffic"))));
    QTRY_VERIFY(m_ui.shown("tipsBuyDialog"));
    QCOMPARE(m_ui.text("tipsBuyText"), QStringLiteral("Insufficient traffic."));
    m_ui.shot("tipsbuy");
    QVERIFY(m_ui.click("tipsBuyCancel"));
    QTRY_VERIFY(!m_ui.shown("tipsBuyDialog"));

    m_ui.object("bindWaitingLoader")->setProperty("source", QUrl("qrc:/BindWaiting.qml"));
    QTRY_VERIFY(m_ui.shown("bindWaiting"));
    m_ui.shot("binding");
    // A new dialog removes the overlay.
    QVERIFY(invoke("openLogin"));
    QTRY_VERIFY(!m_ui.shown("bindWaiting"));
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("loginDialog"));
}

void TestWindow::forcedUpdateOffersNoCancel()
{
    m_c->account()->dealUpdateInfo(QJsonObject { { "code", 1 },
        { "ret_data",
            QJsonObject { { "version", 300 }, { "show_version", "3.0.0" }, { "force_update", true },
                { "desc", "Required fix.\n\n必要的修正。" },
                { "down_url", m_service.base() + "/download/x.exe" } } } });
    QTRY_VERIFY(m_ui.shown("updateDialog"));
    QVERIFY(m_ui.shown("updateButton"));
    QVERIFY(!m_ui.shown("updateCancel"));
    m_ui.key(Qt::Key_Escape);
    QTest::qWait(200);
    QVERIFY(m_ui.shown("updateDialog"));
    m_ui.object("updateLoader")->setProperty("source", QUrl());
    QTRY_VERIFY(!m_ui.shown("updateDialog"));
}

void TestWindow::traditionalChinese()
{
    QVERIFY(m_ui.click("langCombox"));
    QTRY_VERIFY(m_ui.shown("langCombox_entry1"));
    QVERIFY(m_ui.click("langCombox_entry1"));
    QTRY_VERIFY(m_ui.property("tabS5", "text").toString() != "S5 Proxy");
    QVERIFY(m_ui.property("pageTodayList", "text").toString() != "TodayList");
    // Texts stay Chinese after the call, also when a status signal re-evaluates them.
    QTest::qWait(200);
    QVERIFY(m_ui.property("tabS5", "text").toString() != "S5 Proxy");
    m_ui.shot("chinese");
    QVERIFY(invoke("openLogin"));
    QTRY_VERIFY(m_ui.shown("loginDialog"));
    m_ui.shot("chinese_login");
    m_ui.key(Qt::Key_Escape);
    QVERIFY(m_ui.click("langCombox"));
    QTRY_VERIFY(m_ui.shown("langCombox_entry0"));
    QVERIFY(m_ui.click("langCombox_entry0"));
    QTRY_COMPARE(m_ui.property("tabS5", "text").toString(), QStringLiteral("S5 Proxy"));
}

void TestWindow::closeHidesAndExitStops()
{
    QVERIFY(m_ui.click("closeButton"));
    QTRY_VERIFY(!m_ui.window()->isVisible());
    QVERIFY(m_c->getIsStart()); // the process and its helper keep running
    QVERIFY(invoke("trayShow"));
    QTRY_VERIFY(m_ui.window()->isVisible());
    QSignalSpy quit(m_engine, &QQmlEngine::quit);
    QVERIFY(invoke("trayExit"));
    QCOMPARE(quit.count(), 1);
    QVERIFY(!m_c->getIsStart());
    QVERIFY(QFile::exists(m_c->paths().configFile()));
}

QList<ProxyServerInfo*> TestWindow::records(const QString& view) const
{
    QList<ProxyServerInfo*> out;
    const QVariant value = m_ui.property(view, "model");
    QObject* object
        = value.userType() == qMetaTypeId<QJSValue>() ? value.value<QJSValue>().toQObject() : value.value<QObject*>();
    if (auto* model = qobject_cast<RecordListModel*>(object)) {
        for (QObject* o : model->records())
            out << qobject_cast<ProxyServerInfo*>(o);
    }
    return out;
}

QString TestWindow::currentIp(const QString& view) const
{
    const int row = m_ui.property(view + "_list", "currentIndex").toInt();
    const QList<ProxyServerInfo*> shown = records(view);
    return row >= 0 && row < shown.size() && shown.at(row) ? shown.at(row)->getIp() : QString();
}

bool TestWindow::pick(const QString& box, const QString& text)
{
    const QStringList model = m_ui.property(box, "model").toStringList();
    const int index = model.indexOf(text);
    if (index < 0)
        return false;
    if (!m_ui.shown(box + "_entry" + QString::number(index))) {
        if (!m_ui.click(box + "_arrow"))
            return false;
        if (!QTest::qWaitFor([&]() { return m_ui.shown(box + "_entry" + QString::number(index)); }, 3000))
            return false;
    }
    // Long lists scroll: bring the entry into view first.
    QObject* list = m_ui.object(box + "_list");
    if (list)
        QMetaObject::invokeMethod(list, "positionViewAtIndex", Q_ARG(int, index), Q_ARG(int, 1));
    QTest::qWait(50);
    return m_ui.click(box + "_entry" + QString::number(index));
}

bool TestWindow::connectFirstRow(const QString& view)
{
    resetToast();
    if (!m_ui.click(view + "_row0", Qt::RightButton))
        return false;
    if (!QTest::qWaitFor([this]() { return m_ui.shown("menuConnect"); }, 3000))
        return false;
    return m_ui.click("menuConnect");
}

void TestWindow::userPathOnS5()
{
    QVERIFY(m_ui.click("tabS5"));
    QVERIFY(m_ui.click("pageProxyList"));
    // Type-ahead: "Uni" narrows the countries; picking one sets up the states.
    QVERIFY(m_ui.type("searchCountry_field", "Uni"));
    QTRY_VERIFY(m_ui.property("searchCountry", "model").toStringList().contains("United States"));
    QTRY_VERIFY(m_ui.property("searchCountry_popup", "visible").toBool());
    m_ui.shot("search_typeahead");
    QVERIFY(pick("searchCountry", "United States"));
    QTRY_VERIFY(!m_ui.property("searchCountry_popup", "visible").toBool());
    QCOMPARE(m_ui.property("searchCountry", "currentText").toString(), QStringLiteral("United States"));
    const QStringList states = m_ui.property("searchState", "model").toStringList();
    QVERIFY(!states.isEmpty());
    QVERIFY(pick("searchState", states.first()));
    QTRY_COMPARE(m_ui.property("searchState", "currentText").toString(), states.first());
    resetToast();
    QVERIFY(m_ui.click("searchButton"));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Refresh proxylist success", 10000);
    // Replies to earlier, unfiltered queries may still arrive; the search's own list follows.
    const auto filtered = [this, &states]() {
        const QList<ProxyServerInfo*> shown = records("lineView");
        return !shown.isEmpty() && std::all_of(shown.begin(), shown.end(), [&states](ProxyServerInfo* r) {
            return r->getCountry() == QLatin1String("United States") && r->getState() == states.first();
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(filtered(), 10000);
    m_ui.shot("line_list");

    // Right click, "Connect": the overlay shows, then the toast says it worked.
    ProxyServerInfo* line = records("lineView").first();
    const QString ip = line->getIp();
    QVERIFY(m_ui.click("lineView_row0", Qt::RightButton));
    QTRY_VERIFY(m_ui.shown("menuConnect"));
    QVERIFY(m_ui.shown("menuForward") && m_ui.shown("menuRange"));
    QVERIFY(!m_ui.shown("menuAddFavourite"));
    m_ui.shot("context_menu");
    QVERIFY(m_ui.click("menuForward"));
    QTRY_VERIFY(m_ui.shown("portList"));
    m_ui.shot("context_menu_ports");
    resetToast();
    QVERIFY(m_ui.click("menuConnect"));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Bind Success!", 10000);
    QVERIFY(!m_ui.shown("bindWaiting"));

    // The today list shows the real IP with its port.
    QVERIFY(m_ui.click("pageTodayList"));
    QTRY_VERIFY(m_ui.shown("todayView"));
    ProxyServerInfo* today = nullptr;
    for (ProxyServerInfo* r : records("todayView"))
        if (r->getIp() == ip)
            today = r;
    QVERIFY(today);
    const int port = today->getBindPort();
    QVERIFY(port > 0);
    m_ui.shot("today_list");

    // The port-forward list copies exactly local IP, ":" and the port.
    QVERIFY(m_ui.click("portForwardButton"));
    QTRY_VERIFY(m_ui.shown("portForwardDialog"));
    QVERIFY(!m_ui.shown(QStringLiteral("forwardRow_%1").arg(m_c->getPortForProgrameProxy())));
    QVERIFY(m_ui.click(QStringLiteral("forwardCopy_%1").arg(port)));
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), m_c->getLocalIp() + ":" + QString::number(port));
    QTRY_COMPARE(m_ui.text("forwardToastText"), QStringLiteral("Copy Success!"));
    m_ui.shot("port_forward_list");
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("portForwardDialog"));
    // The copied port carries the line (on this machine's loopback).
    const QString copied = QGuiApplication::clipboard()->text().section(':', 1);
    QCOMPARE(peers::exitIpThrough(copied.toInt(), m_service.base()), ip);
}

void TestWindow::userPathOnResidential()
{
    QVERIFY(m_ui.click("tabResi"));
    QVERIFY(m_ui.click("pageProxyList"));
    resetToast();
    QVERIFY(m_ui.click("searchButton"));
    // The list is read once the search has answered, so the row clicked is the line read.
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Refresh proxylist success", 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!records("lineView").isEmpty(), 10000);
    QTRY_VERIFY(records("lineView").first()->getIp().startsWith("127.0.4."));
    const QString ip = records("lineView").first()->getIp();
    QVERIFY(connectFirstRow("lineView"));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Bind Success!", 10000);
    QVERIFY(m_ui.click("pageTodayList"));
    QTRY_VERIFY(m_ui.shown("resiTodayView"));
    int port = 0;
    for (ProxyServerInfo* r : records("resiTodayView"))
        if (r->getIp() == ip)
            port = r->getBindPort();
    QVERIFY(port > 0);
    m_ui.shot("resi_today_list");
    QVERIFY(m_ui.click("portForwardButton"));
    QTRY_VERIFY(m_ui.shown("portForwardDialog"));
    QVERIFY(m_ui.click(QStringLiteral("forwardCopy_%1").arg(port)));
    QTRY_COMPARE(QGuiApplication::clipboard()->text(), m_c->getLocalIp() + ":" + QString::number(port));
    m_ui.key(Qt::Key_Escape);
    QCOMPARE(peers::exitIpThrough(port, m_service.base()), ip);
    QVERIFY(m_ui.click("tabS5"));
}

void TestWindow::forwardToAPickedPortAndRefusals()
{
    QVERIFY(m_ui.click("pageProxyList"));
    QTRY_VERIFY_WITH_TIMEOUT(records("lineView").size() > 2, 10000);

    // A port picked from the list.
    const int picked = m_c->getStartPort() + 6;
    QVERIFY(m_ui.click("lineView_row0", Qt::RightButton));
    QTRY_VERIFY(m_ui.shown("menuForward"));
    QVERIFY(m_ui.click("menuForward"));
    QTRY_VERIFY(m_ui.shown(QStringLiteral("portEntry_%1").arg(picked)));
    resetToast();
    QVERIFY(m_ui.click(QStringLiteral("portEntry_%1").arg(picked)));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Bind Success!", 10000);

    // A port another program holds is refused, and the toast says so.
    m_c->portTable()->slotFor(picked + 1)->setUsable(false);
    QVERIFY(m_ui.click("lineView_row0", Qt::RightButton));
    QTRY_VERIFY(m_ui.shown("menuForward"));
    QVERIFY(m_ui.click("menuForward"));
    QTRY_VERIFY(m_ui.shown(QStringLiteral("portEntry_%1").arg(picked + 1)));
    QSignalSpy status(m_c, &Controller::setPortSessionStatus);
    resetToast();
    QVERIFY(m_ui.click(QStringLiteral("portEntry_%1").arg(picked + 1)));
    QTRY_COMPARE(status.count(), 1);
    QCOMPARE(
        status.first().at(1).toString(), QStringLiteral("The selected port is unusable, please select another port."));
    QTRY_COMPARE(toast(), QStringLiteral("Bind Failed! Please try again."));
    m_c->doLocalEvent();

    // No IPs left: "Connect" offers to buy more and sends nothing. The count is set just
    // before the click, so no balance reply in between can restore it.
    const int ips = UserInfo::instance()->getIpNums();
    QTest::qWait(3500); // the refresh that follows the last binding has run
    status.clear();
    QVERIFY(m_ui.click("lineView_row0", Qt::RightButton));
    QTRY_VERIFY(m_ui.shown("menuConnect"));
    QTest::qWait(50);
    UserInfo::instance()->setIpNums(0);
    QVERIFY(m_ui.click("menuConnect", Qt::LeftButton, false));
    QTRY_VERIFY(m_ui.shown("tipsBuyDialog"));
    QTest::qWait(300);
    QCOMPARE(status.count(), 0);
    QVERIFY(m_ui.click("tipsBuyCancel"));
    UserInfo::instance()->setIpNums(ips);

    // While a binding is on its way a right click opens nothing.
    m_ui.object("bindWaitingLoader")->setProperty("source", QUrl("qrc:/BindWaiting.qml"));
    QVERIFY(m_ui.click("lineView_row0", Qt::RightButton));
    QTest::qWait(200);
    QVERIFY(!m_ui.shown("menuConnect"));
    m_ui.object("bindWaitingLoader")->setProperty("source", QUrl());

    // An offline today line offers no menu.
    QVERIFY(m_ui.click("pageTodayList"));
    QTRY_VERIFY(!records("todayView").isEmpty());
    QTest::qWait(100);
    records("todayView").first()->setOnLine(false);
    QVERIFY(m_ui.click("todayView_row0", Qt::RightButton, false));
    QTRY_VERIFY(m_ui.shown("tipsDialog"));
    QCOMPARE(m_ui.text("tipsText"), QStringLiteral("IP Offline!"));
    QVERIFY(!m_ui.shown("menuConnect"));
    m_ui.key(Qt::Key_Escape);
    records("todayView").first()->setOnLine(true);

    // A helper that never answers: after 10 s the overlay goes and the toast says it failed.
    const qint64 helper = m_c->helper()->process()->processId();
    QVERIFY(m_ui.click("pageProxyList"));
    ::kill(pid_t(helper), SIGSTOP);
    QVERIFY(connectFirstRow("lineView"));
    QTRY_VERIFY(m_ui.shown("bindWaiting"));
    m_ui.shot("binding_from_menu");
    QTRY_VERIFY_WITH_TIMEOUT(!m_ui.shown("bindWaiting"), 12000);
    QTRY_COMPARE(toast(), QStringLiteral("Bind Failed! Please try again."));
    // The helper wakes and answers the request it held; let that late answer land here.
    QSignalSpy late(m_c, &Controller::setPortSessionStatus);
    ::kill(pid_t(helper), SIGCONT);
    QTest::qWaitFor([&late]() { return !late.isEmpty(); }, 5000);
    QTest::qWait(300);
}

void TestWindow::favouritesAddRemarkRemove()
{
    QVERIFY(m_ui.click("pageTodayList"));
    QTRY_VERIFY(!records("todayView").isEmpty());
    const QString ip = records("todayView").first()->getIp();
    QVERIFY(m_ui.click("todayView_row0", Qt::RightButton));
    QTRY_VERIFY(m_ui.shown("menuAddFavourite"));
    resetToast();
    QVERIFY(m_ui.click("menuAddFavourite"));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Favourite Success!", 10000);

    QVERIFY(m_ui.click("pageFavorites"));
    QTRY_VERIFY(!records("favouriteView").isEmpty());
    int row = -1;
    for (int i = 0; i < records("favouriteView").size(); ++i)
        if (records("favouriteView").at(i)->getIp() == ip)
            row = i;
    QVERIFY(row >= 0);
    // A remark with ":" in it reaches the record whole.
    QVERIFY(m_ui.click(QStringLiteral("favouriteView_remarkEdit%1").arg(row)));
    QTRY_VERIFY(m_ui.shown("remarkDialog"));
    QVERIFY(m_ui.type("remarkInput_input", "ssh: 10:00-12:00 office"));
    m_ui.shot("remark_dialog");
    resetToast();
    QVERIFY(m_ui.click("remarkSubmit"));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Remark Success!", 10000);
    QTRY_COMPARE(records("favouriteView").at(row)->getRemark(), QStringLiteral("ssh: 10:00-12:00 office"));
    m_ui.shot("favourites");

    QVERIFY(m_ui.click(QStringLiteral("favouriteView_row%1").arg(row), Qt::RightButton));
    QTRY_VERIFY(m_ui.shown("menuRemoveFavourite"));
    resetToast();
    QVERIFY(m_ui.click("menuRemoveFavourite"));
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Remove Success!", 10000);
    for (ProxyServerInfo* r : records("favouriteView"))
        QVERIFY(r->getIp() != ip);
}

void TestWindow::searchBarRules()
{
    // An invalid start IP blocks the today search but not the line search.
    QVERIFY(m_ui.click("pageTodayList"));
    QTRY_VERIFY(!records("todayView").isEmpty());
    const int before = records("todayView").size();
    QVERIFY(m_ui.type("searchStartIp_input", "300.1.1.1"));
    QCOMPARE(m_ui.property("searchStartIp", "text").toString(), QStringLiteral("300.1.1.1"));
    QTRY_COMPARE(m_ui.property("searchStartIp_input", "color").value<QColor>(), QColor("#ff5764"));
    QVERIFY(m_ui.type("searchEndIp_input", "127.0.0.1"));
    QVERIFY(m_ui.click("searchButton"));
    QTest::qWait(200);
    QCOMPARE(records("todayView").size(), before);
    // A valid range filters at once; "Clear" brings the whole list back.
    QVERIFY(m_ui.type("searchStartIp_input", "127.0.0.0"));
    QVERIFY(m_ui.type("searchEndIp_input", "127.0.0.1"));
    // The local search answers at once (a periodic refresh may re-read the view later).
    QVERIFY(m_ui.click("searchButton"));
    QCOMPARE(records("todayView").size(), 0);
    QVERIFY(m_ui.click("clearButton"));
    QTRY_COMPARE(records("todayView").size(), before);

    QVERIFY(m_ui.click("pageProxyList"));
    QVERIFY(m_ui.type("searchStartIp_input", "300.1.1.1"));
    QSignalSpy lines(m_c, &Controller::getLineListStatus);
    QVERIFY(m_ui.click("searchButton"));
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 10000);
    // The service refuses the address; the window says no line was obtained.
    QTRY_VERIFY(m_ui.shown("tipsDialog"));
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("tipsDialog"));
    QVERIFY(m_ui.type("searchStartIp_input", ""));
}

void TestWindow::apiPageLink()
{
    QVERIFY(m_ui.click("pageApi"));
    QTRY_VERIFY(m_ui.shown("apiPage"));
    QVERIFY(!m_ui.shown("searchButton"));
    QVERIFY(m_ui.click("apiGenerate"));
    QTRY_VERIFY(!m_ui.property("apiLink", "text").toString().isEmpty());
    // A new count regenerates and re-copies at once.
    QVERIFY(m_ui.type("searchNum_input", "2"));
    QTRY_VERIFY2(m_ui.property("apiLink", "text").toString().contains("num=2"),
        qPrintable(m_ui.property("apiLink", "text").toString()
            + " num field: " + m_ui.property("searchNum", "text").toString()));
    const QString link = m_ui.property("apiLink", "text").toString();
    QCOMPARE(QGuiApplication::clipboard()->text(), link);
    QVERIFY(m_ui.property("apiExample2", "url").toString().contains("city=New%20York"));
    m_ui.shot("api_page");

    // The link binds through the helper when fetched on this machine.
    QUrl url(link);
    url.setHost(QStringLiteral("127.0.0.1"));
    QNetworkAccessManager nam;
    QNetworkReply* reply = nam.get(QNetworkRequest(url));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 15000);
    const QStringList addresses = QString::fromUtf8(reply->readAll()).split('\n', Qt::SkipEmptyParts);
    reply->deleteLater();
    QCOMPARE(addresses.size(), 2);
    QVERIFY(m_ui.click("pageProxyList"));
}

void TestWindow::todaySelectionSurvivesARefresh()
{
    QVERIFY(m_ui.click("tabS5"));
    QVERIFY(m_ui.click("pageTodayList"));
    QTRY_VERIFY_WITH_TIMEOUT(records("todayView").size() > 1, 10000);
    // Not the first row: a view that starts over at row 0 must not pass.
    const int row = std::min(int(records("todayView").size()) - 1, 3);
    const QString ip = records("todayView").at(row)->getIp();
    QVERIFY(m_ui.click(QStringLiteral("todayView_row%1").arg(row)));
    QTRY_COMPARE(currentIp("todayView"), ip);

    // The Refresh button: the service's today list is fetched and merged again.
    resetToast();
    QSignalSpy today(m_c, &Controller::getTodayListStatus);
    QVERIFY(m_ui.click("refreshButton"));
    QTRY_VERIFY_WITH_TIMEOUT(today.count() >= 2, 10000);
    QVERIFY(today.first().at(0).toBool());
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Refresh todaylist success", 10000);
    QTest::qWait(200);
    QCOMPARE(currentIp("todayView"), ip);
    m_ui.shot("today_selection_kept");
}

void TestWindow::searchAfterTheRangeShrinksUnderTheForwardList()
{
    QVERIFY(m_ui.click("tabS5"));
    QVERIFY(m_ui.click("pageProxyList"));
    QSignalSpy lines(m_c, &Controller::getLineListStatus);
    QVERIFY(m_ui.click("searchButton"));
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 10000);
    QVERIFY(lines.takeFirst().at(0).toBool());
    QTRY_VERIFY(!records("lineView").isEmpty());

    // The forward list shows the slots at the end of the range, then closes.
    const int start = m_c->getStartPort();
    const int fewer = m_c->getPortNum() - 2;
    QVERIFY(m_ui.click("portForwardButton"));
    QTRY_VERIFY(m_ui.shown("portForwardDialog"));
    QTRY_VERIFY(m_ui.item(QStringLiteral("forwardRow_%1").arg(start + fewer + 1)));
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("portForwardDialog"));

    // Fewer ports from the same start: the last slots are deleted.
    QVERIFY(m_ui.click("tabSettings"));
    QTRY_VERIFY(m_ui.shown("settingsPage"));
    QVERIFY(m_ui.type("settingsBeginPort_input", QString::number(start)));
    QVERIFY(m_ui.type("settingsPortNumber_input", QString::number(fewer)));
    QVERIFY(m_ui.click("settingsUsed"));
    QTRY_COMPARE(m_c->getPortNum(), fewer);
    QTRY_COMPARE(m_c->getPortRange(), QStringLiteral("%1-%2").arg(start).arg(start + fewer - 1));
    QTest::qWait(100);

    // A new search replaces the lines, asking who still shows the old ones: the client answers.
    QVERIFY(m_ui.click("tabS5"));
    QVERIFY(m_ui.click("pageProxyList"));
    resetToast();
    QVERIFY(m_ui.click("searchButton"));
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 10000);
    QVERIFY(lines.first().at(0).toBool());
    QTRY_VERIFY_WITH_TIMEOUT(toast() == "Refresh proxylist success", 10000);
    QTRY_VERIFY(!records("lineView").isEmpty());

    // The forward list opens again over the smaller range.
    QVERIFY(m_ui.click("portForwardButton"));
    QTRY_VERIFY(m_ui.shown("portForwardDialog"));
    QTRY_VERIFY(m_ui.shown(QStringLiteral("forwardRow_%1").arg(start + fewer - 1)));
    // Past the range only lines still bound there show, no free slot.
    for (int port = start + fewer; port < start + fewer + 2; ++port) {
        if (m_ui.shown(QStringLiteral("forwardRow_%1").arg(port)))
            QVERIFY(m_ui.shown(QStringLiteral("forwardFree_%1").arg(port)));
    }
    m_ui.shot("port_forward_after_shrink");
    m_ui.key(Qt::Key_Escape);
    QTRY_VERIFY(!m_ui.shown("portForwardDialog"));
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
