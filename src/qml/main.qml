import QtQuick 2.12
import QtQuick.Controls 2.2
import QtQuick.Window 2.2
import Qt.Controller 1.0
import Qt.UserInfo 1.0
import Qt.UpdateInfo 1.0
import VM.utility 1.0
import Qt.Clipboard 1.0

// The one window of the client: top bar with the plan tabs, left bar with the pages, account
// strip with the proxy switch, content, bottom bar, toast, tray icon and dialog overlays.
ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"
    readonly property int topWindowWidth: 1200
    readonly property int topWindowHeight: 763
    width: topWindowWidth + 20
    height: topWindowHeight + 20
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    x: (1920 - 1020) / 2
    y: (1080 - 700) / 2
    visible: true
    color: "transparent"
    flags: Qt.Window | Qt.FramelessWindowHint | Qt.WindowSystemMenuHint | Qt.WindowMinimizeButtonHint
           | Qt.WindowMaximizeButtonHint
    title: qsTr("ZQ S5 Proxy")

    // The pending update or IP check was started by the user.
    property bool isCheckByUser: false
    property bool isProxyStart: false
    property string ipPort: Controller.getLocalIp() + ":" + Controller.getLocalPort()
    property string tips: ""
    property string selectId: "0"
    property string selectSn: "0"
    property string selectServer: "0"
    property string selectArea: "0"
    property string selectIp: "0"
    property string selectSessionId: "0"
    property string selectPlanTypeKey: "0"
    property string selectRegion: "0"
    property int selectIndex: 0
    property bool isToday: false
    property bool isRecharge: false
    property int timeoutTimes: 0
    // Rows: IP counts, current prices, previous prices, unit prices.
    property var priceTable: [blankPrices(), blankPrices(), blankPrices(), blankPrices()]
    // The start-up reaction to a login runs once per session (and again for another account).
    property string sessionUser: ""
    readonly property bool resiTab: tabResi.checked
    readonly property string currentPage: pageTodayList.checked ? "TodayList"
                                        : pageFavorites.checked ? "Favorites"
                                        : pageApi.checked ? "API" : "ProxyList"
    readonly property bool onListPages: (tabS5.checked || tabResi.checked) && !pageApi.checked

    onWidthChanged: if (width !== topWindowWidth + 20) width = topWindowWidth + 20
    onHeightChanged: if (height !== topWindowHeight + 20) height = topWindowHeight + 20

    function blankPrices() {
        return ["---", "---", "---", "---", "---", "---", "---", "---", "---"]
    }
    function retranslate() {
        qmlLanguage.setLanguage(langCombox.comboxIndex)
    }
    function showToast(message, ok) {
        toast.show(message, ok)
        retranslate()
    }
    function showTips(message) {
        tips = message
        dialogLoader.source = ""
        dialogLoader.source = "Tips.qml"
    }
    function openDialog(file) {
        dialogLoader.source = ""
        dialogLoader.source = file
    }
    function openTipsBuy(type) {
        dialogLoader.source = ""
        dialogLoader.setSource("TipsBuy.qml", { "type": type })
    }
    function openLogin() {
        openDialog("Login.qml")
    }
    function closeDialog() {
        dialogLoader.source = ""
    }
    // True when logged in; otherwise opens the login dialog (and says why when asked to).
    function requireLogin(withToast) {
        if (Controller.getIsLogin())
            return true
        openLogin()
        if (withToast)
            showToast(qsTr("Please log in first!"), false)
        return false
    }
    function refreshIpPort() {
        ipPort = Controller.getLocalIp() + ":" + Controller.getLocalPort()
    }
    function switchProxy(on) {
        if (on) {
            if (!Controller.getIsLogin()) {
                openLogin()
                isProxyStart = false
                return
            }
            isProxyStart = Controller.startProxy()
            showToast(isProxyStart ? qsTr("Start success!") : qsTr("Start failed!"), isProxyStart)
            refreshIpPort()
        } else {
            Controller.stopProxy()
            isProxyStart = false
            linePages.clearViews()
        }
    }
    function requestLists() {
        Controller.getLineListV2(searchBar.countryName, searchBar.stateName, searchBar.cityName, searchBar.zipNum,
                                 searchBar.isp, searchBar.startIp, searchBar.endIp, 20)
        Controller.getResiTrafficLineList(searchBar.countryName, searchBar.stateName, searchBar.cityName,
                                          searchBar.zipNum, searchBar.isp, searchBar.startIp, searchBar.endIp, 20,
                                          "flow")
        Controller.getFavouriteList("S5")
        Controller.getFavouriteList("ResidentTraffic")
        Controller.getTodayList("S5")
        Controller.getTodayListV2()
        Controller.getTodayList("ResidentTraffic")
        Controller.getAreaList()
        Controller.getUserResiTraffic()
    }
    function refreshPage() {
        if (!requireLogin(false))
            return
        loading.visible = true
        Controller.compareIpAndPortState()
        if (!resiTab) {
            if (currentPage === "ProxyList")
                Controller.getLineListV2(searchBar.countryName, searchBar.stateName, searchBar.cityName,
                                         searchBar.zipNum, searchBar.isp, searchBar.startIp, searchBar.endIp, 20)
            else if (currentPage === "TodayList") {
                Controller.getTodayList("S5")
                Controller.getTodayListV2()
            } else if (currentPage === "Favorites")
                Controller.getFavouriteList("S5")
        } else {
            if (currentPage === "ProxyList")
                Controller.getResiTrafficLineList(searchBar.countryName, searchBar.stateName, searchBar.cityName,
                                                  searchBar.zipNum, searchBar.isp, searchBar.startIp,
                                                  searchBar.endIp, 20, "flow")
            else if (currentPage === "TodayList")
                Controller.getTodayList("ResidentTraffic")
            else if (currentPage === "Favorites")
                Controller.getFavouriteList("ResidentTraffic")
        }
    }
    // Decimal units; the remaining amount is cut (not rounded) to two decimals.
    function formatRemain(bytes) {
        const negative = bytes < 0
        const a = Math.abs(bytes)
        let n = a, unit = "B"
        if (a >= 1e12 && !negative) { n = a / 1e12; unit = "TB" }
        else if (a >= 1e9 && !negative) { n = a / 1e9; unit = "GB" }
        else if (a >= 1e6) { n = a / 1e6; unit = "MB" }
        else if (a >= 1e3) { n = a / 1e3; unit = "KB" }
        n = Math.floor(n * 100) / 100
        return (negative ? "-" : "") + n + unit
    }
    function formatTotal(bytes) {
        const a = Math.abs(bytes)
        if (a < 1e3) return "/" + Math.round(a) + "B"
        if (a < 1e6) return "/" + Math.round(a / 1e3) + "KB"
        if (a < 1e9) return "/" + Math.round(a / 1e6) + "MB"
        if (a < 1e12) return "/" + Math.round(a / 1e9) + "GB"
        return "/" + Math.round(a / 1e12) + "TB"
    }
    // A row was clicked: record the selection, then decide whether a menu may open.
    function rowActivated(record, row, button, x, y) {
        selectIp = record.qIp
        selectServer = record.qProxyIp
        selectSn = record.qSn
        selectSessionId = record.qSessionId
        selectRegion = record.qRegion
        selectPlanTypeKey = record.qPlanTypeKey
        selectIndex = row
        selectArea = record.qCountry + "-" + (record.qCity.length ? record.qCity : "random") + "-"
                     + (record.qState.length ? record.qState : "random")
        if (currentPage !== "ProxyList" && record.qOnLine)
            isRecharge = record.qIsExpired || record.qIsFromOtherDevice
        if (!Controller.getIsStart()) {
            showTips(Controller.getIsLogin() ? qsTr("Please start the proxy first!") : qsTr("Please login first!"))
            return
        }
        if (button !== Qt.RightButton || bindWaitingLoader.source.toString() !== "")
            return
        if (currentPage === "ProxyList") {
            linePages.openMenu(x, y, true, false, false)
        } else if (currentPage === "TodayList") {
            if (record.qOnLine)
                linePages.openMenu(x, y, true, true, false)
            else
                showTips(qsTr("IP Offline!"))
        } else {
            linePages.openMenu(x, y, record.qOnLine, false, true)
            if (!record.qOnLine)
                showToast(qsTr("Line Offline!"), false)
        }
    }
    // Binds the selected line: to any free port (picked false) or to the picked slot.
    function bindSelected(port, usable, picked) {
        if (!resiTab) {
            const none = UserInfo.getIpNums() <= 0
            if ((currentPage === "ProxyList" && none) || (currentPage !== "ProxyList" && isRecharge && none)) {
                openTipsBuy("S5")
                return
            }
            let charge = true, openPort = 0
            if (currentPage === "TodayList" || currentPage === "Favorites") {
                charge = isRecharge
                openPort = picked && !isRecharge ? port : 0
            }
            // The overlay first: a refusal answers at once and must find it to remove.
            startBindWait()
            Controller.setPortSession(selectSessionId, selectIp, port, selectServer, selectSn, openPort, selectArea,
                                      selectRegion, charge, picked ? usable : true)
            linePages.reload()
        } else {
            if (UserInfo.getResiTraffic_reamin() <= 0) {
                openTipsBuy("ResidentTraffic")
                return
            }
            startBindWait()
            Controller.setPortSessionResiTraffic(selectSessionId, selectIp, port, selectServer, selectSn, selectArea,
                                                 selectRegion, picked ? usable : true, selectPlanTypeKey)
            if (currentPage !== "TodayList")
                linePages.reloadLines()
            linePages.reloadToday()
        }
        if (picked)
            linePages.clearCurrentRow()
    }
    function startBindWait() {
        bindWaitingLoader.source = "BindWaiting.qml"
        bindWaitTimer.restart()
    }
    function search() {
        if (!requireLogin(false))
            return
        if (currentPage === "ProxyList" && !resiTab) {
            loading.visible = true
            Controller.getLineListV2(searchBar.countryName, searchBar.stateName, searchBar.cityName, searchBar.zipNum,
                                     searchBar.isp, searchBar.startIp, searchBar.endIp, 20)
        } else if (currentPage === "ProxyList") {
            loading.visible = true
            Controller.getResiTrafficLineList(searchBar.countryName, searchBar.stateName, searchBar.cityName,
                                              searchBar.zipNum, searchBar.isp, searchBar.startIp, searchBar.endIp,
                                              20, "flow")
        } else if (currentPage === "TodayList" && !searchBar.ipInvalid) {
            linePages.showTodaySearch(Controller.searchTodayList(resiTab ? "Resident Traffic" : "S5",
                                                                 searchBar.countryName, searchBar.stateName,
                                                                 searchBar.cityName, searchBar.bindType,
                                                                 searchBar.startIp, searchBar.endIp))
        }
    }
    function generateApiLink() {
        if (!pageApi.checked)
            return
        refreshIpPort()
        if (!Controller.getIsLogin())
            return
        if (UserInfo.getIpNums() <= 0) {
            openTipsBuy("S5")
            return
        }
        apiPage.link = Controller.createApiLink(searchBar.countryName, searchBar.stateName, searchBar.cityName,
                                                searchBar.zipNum, "", searchBar.num, searchBar.startPort,
                                                searchBar.dataType, searchBar.startIp, searchBar.endIp)
        clipboard.setText(apiPage.link)
        apiPage.showStart()
        if (!Controller.getIsStart())
            showTips(qsTr("Please start the proxy first!"))
    }
    function trayShow() {
        mainWindow.requestActivate()
        mainWindow.show()
    }
    function trayHide() {
        mainWindow.showMinimized()
    }
    function trayExit() {
        Controller.saveConfigToFile()
        Controller.stopProxy()
        Qt.quit()
    }
    function toggleFromTray() {
        if (mainWindow.visible && mainWindow.visibility !== Window.Minimized) {
            mainWindow.hide()
        } else {
            mainWindow.raise()
            mainWindow.requestActivate()
            mainWindow.show()
        }
    }

    Component.onCompleted: {
        searchBar.ispModel = Controller.searchAsn("")
        leftBar.versionText = Controller.getShowVersion()
        Controller.checkUpdate()
    }

    // Dragging anywhere on the background moves the frameless window.
    MouseArea {
        id: dragArea
        anchors.fill: parent
        property point pressPos
        onPressed: pressPos = Qt.point(mouse.x, mouse.y)
        onPositionChanged: {
            mainWindow.x += mouse.x - pressPos.x
            mainWindow.y += mouse.y - pressPos.y
        }
    }

    WindowShadow {
        target: panel
        panelRadius: panel.radius
    }

    Rectangle {
        id: panel
        objectName: "panel"
        x: 10
        y: 10
        width: mainWindow.topWindowWidth
        height: mainWindow.topWindowHeight
        radius: 12
        color: "#f2f5fa"

        TopBar {
            id: topBar
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            window: mainWindow
            accountText: Controller.getIsLogin() ? qsTr("Log Out") : qsTr("Login")
        }

        LeftBar {
            id: leftBar
            anchors.top: topBar.bottom
            anchors.left: parent.left
            anchors.bottom: parent.bottom
            showPages: tabS5.checked || tabResi.checked
            showApi: tabS5.checked
        }

        AccountStrip {
            id: strip
            anchors.top: topBar.bottom
            anchors.topMargin: 12
            anchors.left: leftBar.right
            anchors.leftMargin: 12
            anchors.right: parent.right
            anchors.rightMargin: 16
            visible: !tabPricing.checked
            residential: mainWindow.resiTab
            proxyOn: mainWindow.isProxyStart
            localIp: Controller.getLocalIp()
            onSwitchClicked: {
                if (banner.visible) {
                    mainWindow.showTips(qsTr("Please use in non Chinese Mainland environment"))
                    return
                }
                mainWindow.switchProxy(!mainWindow.isProxyStart)
            }
            onIpRefreshClicked: {
                if (!mainWindow.requireLogin(true))
                    return
                spinning = true
                Controller.getUserIpNumber()
            }
            onResiRefreshClicked: {
                if (!mainWindow.requireLogin(true))
                    return
                resiSpinning = true
                Controller.getUserResiTraffic()
            }
            onRechargeClicked: {
                if (mainWindow.requireLogin(false))
                    Controller.jumpUrl(Controller.getJumpUrl(key))
            }
            onCheckClicked: {
                if (!mainWindow.requireLogin(true))
                    return
                mainWindow.isCheckByUser = true
                loading.visible = true
                Controller.checkIp()
            }
        }

        Item {
            id: content
            objectName: "content"
            anchors.top: strip.visible ? strip.bottom : topBar.bottom
            anchors.topMargin: 8
            anchors.left: leftBar.right
            anchors.right: parent.right
            anchors.bottom: bottomBar.visible ? bottomBar.top : parent.bottom

            SearchBar {
                id: searchBar
                anchors.top: parent.top
                anchors.left: parent.left
                anchors.right: parent.right
                visible: mainWindow.onListPages || pageApi.checked
                apiMode: pageApi.checked
                todayPage: pageTodayList.checked
                onSearchClicked: mainWindow.search()
                onClearClicked: {
                    linePages.showTodaySearch(Controller.getTodayProxyServerInfo())
                    searchBar.clear()
                }
                onApiParamsChanged: mainWindow.generateApiLink()
            }
            LinePages {
                id: linePages
                anchors.top: searchBar.visible ? searchBar.bottom : parent.top
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                visible: mainWindow.onListPages
                page: mainWindow.currentPage
                residential: mainWindow.resiTab
                onRowActivated: mainWindow.rowActivated(record, row, button, x, y)
                onConnectChosen: mainWindow.bindSelected(0, true, false)
                onPortChosen: mainWindow.bindSelected(port, usable, true)
                onAddFavouriteChosen: {
                    Controller.setFavourite(UserInfo.getUserName(), mainWindow.selectIp, mainWindow.selectArea,
                                            mainWindow.selectSn, mainWindow.selectServer, mainWindow.selectSessionId,
                                            mainWindow.resiTab ? "ResidentTraffic" : "")
                    linePages.reloadFavourites()
                }
                onRemoveFavouriteChosen: {
                    Controller.setDislikeIP(UserInfo.getUserName(), mainWindow.selectIp, mainWindow.selectSn,
                                            mainWindow.selectServer, mainWindow.selectSessionId,
                                            mainWindow.resiTab ? "ResidentTraffic" : "")
                    linePages.reloadFavourites()
                }
                onRemarkChosen: {
                    if (!Controller.getIsLogin()) {
                        mainWindow.showToast(qsTr("Please log in first!"), false)
                        return
                    }
                    dialogLoader.source = ""
                    dialogLoader.setSource("Remark.qml", { "ip": record.qIp, "planType": mainWindow.resiTab ? "ResidentTraffic" : "",
                                                          "lastText": record.qRemark })
                }
            }
            ApiPage {
                id: apiPage
                anchors.top: searchBar.bottom
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                visible: tabS5.checked && pageApi.checked
                ipPort: mainWindow.ipPort
                onGenerateClicked: mainWindow.generateApiLink()
                onCopyClicked: {
                    if (mainWindow.requireLogin(false))
                        clipboard.setText(apiPage.link)
                }
            }
            SettingsPage {
                id: settingsPage
                anchors.fill: parent
                visible: tabSettings.checked
                onTipsRequested: mainWindow.showTips(message)
                onRangeApplied: linePages.rangeText = range
            }
            Pricing {
                id: pricingPage
                anchors.fill: parent
                visible: tabPricing.checked
                prices: mainWindow.priceTable
            }
        }

        BottomBar {
            id: bottomBar
            anchors.left: leftBar.right
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            visible: mainWindow.onListPages
            onPortForwardClicked: {
                if (!mainWindow.requireLogin(false))
                    return
                if (!mainWindow.isProxyStart) {
                    mainWindow.showTips(qsTr("Please start proxy first!"))
                    return
                }
                portForwardLoader.source = "PortForwardList.qml"
            }
            onRefreshClicked: mainWindow.refreshPage()
            onCountryCodeClicked: {
                if (mainWindow.requireLogin(false))
                    Controller.jumpUrl(Controller.getJumpUrl("url_countryCode"))
            }
        }

        Rectangle {
            id: banner
            objectName: "envBanner"
            visible: false
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 60
            width: bannerRow.implicitWidth + 32
            height: 36
            radius: 18
            color: "#fff4e0"
            border.color: "#ffb020"
            Row {
                id: bannerRow
                anchors.centerIn: parent
                spacing: 8
                Image {
                    anchors.verticalCenter: parent.verticalCenter
                    source: "qrc:/image/warning.svg"
                    sourceSize.width: 16
                    sourceSize.height: 16
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Please use in non Chinese Mainland environment")
                    color: "#8a5a00"
                    font.pixelSize: 13
                }
            }
        }

        Toast {
            id: toast
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 64
            z: 50
        }

        // Overlays, lowest first.
        Loader {
            id: portForwardLoader
            objectName: "portForwardLoader"
            anchors.fill: parent
            z: 60
            onLoaded: {
                if (item.closeRequested)
                    item.closeRequested.connect(function () { portForwardLoader.source = "" })
                mainWindow.retranslate()
            }
        }
        Loader {
            id: updateLoader
            objectName: "updateLoader"
            anchors.fill: parent
            z: 70
            onLoaded: {
                item.checkByUser = mainWindow.isCheckByUser
                item.languageIndex = langIndexHolder.index
                item.closeRequested.connect(function () { updateLoader.source = "" })
                mainWindow.isCheckByUser = false
                mainWindow.retranslate()
            }
        }
        Loader {
            id: dialogLoader
            objectName: "dialogLoader"
            anchors.fill: parent
            z: 80
            onSourceChanged: {
                if (source.toString() !== "")
                    bindWaitingLoader.source = ""
            }
            onLoaded: {
                if (item.message !== undefined)
                    item.message = mainWindow.tips
                item.closeRequested.connect(function () { dialogLoader.source = "" })
                mainWindow.retranslate()
            }
        }
        Loader {
            id: bindWaitingLoader
            objectName: "bindWaitingLoader"
            anchors.fill: parent
            z: 90
        }
        Loading {
            id: loading
            objectName: "loadingIndicator"
            anchors.centerIn: parent
            visible: false
            z: 100
        }
    }

    // Holds the language selector's index for screens that need it.
    QtObject {
        id: langIndexHolder
        property int index: topBar.languageIndex
    }
    property alias langCombox: topBar.langCombox
    property alias tabS5: topBar.tabS5
    property alias tabResi: topBar.tabResi
    property alias tabSettings: topBar.tabSettings
    property alias tabPricing: topBar.tabPricing
    property alias pageProxyList: leftBar.pageProxyList
    property alias pageTodayList: leftBar.pageTodayList
    property alias pageFavorites: leftBar.pageFavorites
    property alias pageApi: leftBar.pageApi

    Connections {
        target: topBar
        function onHelpClicked() { Controller.jumpUrl(Controller.getJumpUrl("url_faq")) }
        function onMinimiseClicked() { mainWindow.showMinimized() }
        function onCloseClicked() { mainWindow.hide() }
        function onRechargeClicked() {
            if (!Controller.getIsLogin()) {
                mainWindow.openLogin()
                return
            }
            Controller.jumpUrl(Controller.getJumpUrl(mainWindow.resiTab ? "url_recharge_ResidentTraffic"
                                                                         : "url_recharge_S5"))
        }
        function onUpdateClicked() {
            mainWindow.isCheckByUser = true
            Controller.checkUpdate()
        }
        function onAccountActionClicked() {
            if (Controller.getIsLogin())
                Controller.loginOut()
            else
                mainWindow.openLogin()
        }
        function onLanguageChosen(index) { qmlLanguage.setLanguage(index) }
        function onTabChanged() {
            if (tabPricing.checked) {
                loading.visible = true
                Controller.getPriceInfo()
            } else if ((tabS5.checked || tabResi.checked) && !leftBar.anyChecked) {
                pageProxyList.checked = true
            }
            if (tabResi.checked && pageApi.checked)
                pageProxyList.checked = true
            if (mainWindow.isProxyStart)
                linePages.reload()
            mainWindow.retranslate()
        }
    }
    Connections {
        target: leftBar
        function onPageChanged() {
            searchBar.clear()
            mainWindow.isToday = pageTodayList.checked
            if (pageApi.checked) {
                tabS5.checked = true
                mainWindow.refreshIpPort()
            }
            linePages.reload()
            mainWindow.retranslate()
        }
        function onLinkClicked(key) { Controller.jumpUrl(Controller.getJumpUrl(key)) }
        function onUpdateClicked() {
            mainWindow.isCheckByUser = true
            Controller.checkUpdate()
        }
    }

    Timer {
        id: resiBalanceTimer
        interval: 30000
        repeat: true
        triggeredOnStart: true
        onTriggered: Controller.getUserResiTraffic()
    }
    Timer {
        id: bindWaitTimer
        objectName: "bindWaitTimer"
        interval: 10000
        onTriggered: {
            bindWaitingLoader.source = ""
            mainWindow.showToast(qsTr("Bind Failed! Please try again."), false)
        }
    }
    Timer {
        interval: 180000
        repeat: true
        running: true
        triggeredOnStart: true
        onTriggered: mainWindow.timeoutTimes = 0
    }

    Clipboard {
        id: clipboard
    }

    SystemTrayIcon {
        id: tray
        objectName: "trayIcon"
        visible: true
        icon: "qrc:/image/small.ico"
        toolTip: qsTr("ZQ S5 Proxy")
        onTriggered: mainWindow.toggleFromTray()
        menu: MyMenu {
            MyAction {
                text: qsTr("Show")
                onTriggered: mainWindow.trayShow()
            }
            MyAction {
                text: qsTr("Hide")
                onTriggered: mainWindow.trayHide()
            }
            MySeparator {}
            MyAction {
                text: qsTr("Exit")
                onTriggered: mainWindow.trayExit()
            }
        }
    }

    Connections {
        target: Controller
        function onUpdateStatus(status, message) {
            if (status || mainWindow.isCheckByUser) {
                updateLoader.source = ""
                updateLoader.source = "Update.qml"
            } else {
                Controller.readAreaList()
                Controller.getConfig()
                if (Controller.getAutoLogin())
                    Controller.login(UserInfo.getUserName(), UserInfo.getPassword())
            }
            mainWindow.retranslate()
        }
        function onLoginStatus(status, message) {
            if (!status)
                return
            strip.ipCountText = UserInfo.getIpNums() + " IPs"
            topBar.userName = UserInfo.getUserName()
            topBar.accountText = qsTr("Log Out")
            // The periodic re-login of the upkeep must not close what the user is doing.
            if (mainWindow.sessionUser === UserInfo.getUserName())
                return
            mainWindow.sessionUser = UserInfo.getUserName()
            resiBalanceTimer.start()
            Controller.checkIp()
            mainWindow.closeDialog()
            mainWindow.retranslate()
        }
        function onLoginOutStatus(status, message) {
            if (status) {
                mainWindow.sessionUser = ""
                topBar.accountText = qsTr("Login")
                topBar.userName = "--"
                strip.ipCountText = "--"
                resiBalanceTimer.stop()
                strip.resiRemain = "-- G"
                strip.resiTotal = "/" + "--- G"
                strip.resiExpire = "**** - ** - **"
                mainWindow.openLogin()
            }
            if (mainWindow.isProxyStart)
                mainWindow.switchProxy(false)
            mainWindow.retranslate()
        }
        function onCheckIpStatus(status, ip, message, code) {
            loading.visible = false
            strip.checkedIp = ip
            strip.ipOk = status
            if (status) {
                if (mainWindow.isCheckByUser) {
                    mainWindow.showTips(qsTr("The current environment can use ZQ S5"))
                    mainWindow.isCheckByUser = false
                }
                banner.visible = false
                if (!mainWindow.isProxyStart)
                    mainWindow.switchProxy(true)
            } else {
                mainWindow.isCheckByUser = false
                mainWindow.showTips(qsTr("Sorry not supported in current region!"))
                banner.visible = true
                if (mainWindow.isProxyStart)
                    mainWindow.switchProxy(false)
            }
            mainWindow.retranslate()
        }
        function onSendServerStatus(status, message) {
            if (status)
                mainWindow.requestLists()
            else
                console.log("local proxy status", status, message)
        }
        function onGetUserIpNumsStatus(status, message) {
            if (status)
                strip.ipCountText = UserInfo.getIpNums() + " IPs"
            strip.spinning = false
            mainWindow.retranslate()
        }
        function onGetUserResiTrafficInfoStatus(status, message) {
            strip.resiSpinning = false
            if (!status) {
                strip.resiRemain = "0.00G"
                strip.resiTotal = "/" + "0.00G"
                strip.resiExpire = "**** - ** - **"
                return
            }
            const remain = UserInfo.getResiTraffic_reamin()
            if (remain < 0 && Controller.freeResidentTrafficPort() > 0)
                mainWindow.openTipsBuy("ResidentTraffic")
            strip.resiRemain = mainWindow.formatRemain(remain)
            strip.resiTotal = mainWindow.formatTotal(UserInfo.getResiTraffic_all())
            strip.resiExpire = UserInfo.getResiTraffic_expireUTC()
            mainWindow.retranslate()
        }
        function onGetAreaListStatus(status, message) {
            if (status) {
                searchBar.countryModel = Controller.getCountryNameList()
                searchBar.stateModel = Controller.searchStateNameList("", "")
                searchBar.cityModel = Controller.searchCityNameList("", "", "")
                searchBar.resetAreaModels()
            } else {
                mainWindow.showTips(qsTr("get area info fail:") + message)
            }
        }
        function onUserNoIpNums() { console.log("userNoIpNums") }
        function onUserNoIpTraffic() { console.log("userNoIpTraffic") }
        function onInterfaceTimeout(type) {
            if (type === "checkIpApi") {
                loading.visible = false
                mainWindow.showTips(qsTr("check ip time out,please try again"))
            } else if (type === "loginApi") {
                if (!Controller.getIsLogin())
                    mainWindow.showTips(qsTr("login time out,please login first"))
            } else {
                console.log("interface timeout", type)
            }
            if (mainWindow.timeoutTimes <= 20) {
                if (type === "priceApi") {
                    mainWindow.timeoutTimes++
                    Controller.getPriceInfo()
                } else if (type === "getUserResiTrafficBalanceApi") {
                    mainWindow.timeoutTimes++
                    Controller.getUserResiTraffic()
                }
            }
        }
        function onPriceInfo(status, IPNums, currentPrice, beforePrice, unitPrice) {
            loading.visible = false
            if (status)
                mainWindow.priceTable = [IPNums, currentPrice, beforePrice, unitPrice]
        }
        function onSetPortSessionStatus(status, message, ip) {
            bindWaitingLoader.source = ""
            bindWaitTimer.stop()
            linePages.reloadLines()
            linePages.reloadToday()
            if (status)
                mainWindow.showToast(qsTr("Bind Success!"), true)
            else if (message === "No more port to bind,Please reset port range.")
                mainWindow.showTips(qsTr("No more port to bind!\nPlease reset port range."))
            else
                mainWindow.showToast(qsTr("Bind Failed! Please try again."), false)
        }
        function onGetLineListStatus(status, message) {
            loading.visible = false
            // The view showing this plan re-reads at once, whatever page or tab is current: the
            // records it held are released once this handler returns.
            if (status && !linePages.residential)
                linePages.reloadLines()
            if (!tabS5.checked)
                return
            if (status) {
                if (mainWindow.currentPage !== "TodayList")
                    mainWindow.showToast(qsTr("Refresh proxylist success"), true)
            } else {
                mainWindow.showToast(qsTr("Refresh proxylist failed:") + message, false)
                mainWindow.showTips(qsTr("No usable IP was obtained!"))
            }
        }
        function onGetResiTrafficListStatus(status, message) {
            loading.visible = false
            if (status && linePages.residential)
                linePages.reloadLines()
            if (!tabResi.checked)
                return
            if (status) {
                if (mainWindow.currentPage !== "TodayList")
                    mainWindow.showToast(qsTr("Refresh proxylist success"), true)
            } else {
                mainWindow.showToast(qsTr("Refresh proxylist failed:") + message, false)
                mainWindow.showTips(qsTr("No usable IP was obtained!"))
            }
        }
        function onGetTodayListStatus(status, message) {
            Controller.compareIpAndPortState()
            loading.visible = false
            if (status) {
                linePages.reloadToday()
                if (mainWindow.currentPage === "TodayList")
                    mainWindow.showToast(qsTr("Refresh todaylist success"), true)
            } else {
                mainWindow.showToast(qsTr("Refresh todaylist failed:") + message, false)
                mainWindow.showTips(qsTr("Refresh todaylist failed:") + message)
            }
        }
        function onGetTodayResiTrafficStatus(status, message) {
            loading.visible = false
            if (status)
                linePages.reloadToday()
        }
        function onGetFavouriteListStatus(status, message) {
            loading.visible = false
            linePages.reloadFavourites()
            if (mainWindow.currentPage === "Favorites")
                mainWindow.showToast(qsTr("Refresh favouritelist success"), true)
        }
        function onGetFavouriteResiTrafficListStatus(status, message) {
            loading.visible = false
            linePages.reloadFavourites()
            if (mainWindow.currentPage === "Favorites")
                mainWindow.showToast(qsTr("Refresh favouritelist success"), true)
        }
        function onSetFavouriteStatus(status, message) {
            if (status && message === "success")
                mainWindow.showToast(qsTr("Favourite Success!"), true)
            else if (status)
                mainWindow.showToast(qsTr("The IP address already exists"), false)
            else
                mainWindow.showTips(qsTr("set favour fail:") + message)
            linePages.reloadFavourites()
        }
        function onSetFavouriteRemarkStatus(status, message) {
            if (status)
                mainWindow.showToast(qsTr("Remark Success!"), true)
            else
                mainWindow.showTips(qsTr("set remark fail:") + message)
            linePages.reloadFavourites()
        }
        function onSetDislikeStatus(status, message) {
            if (status)
                mainWindow.showToast(qsTr("Remove Success!"), true)
            else
                mainWindow.showTips(qsTr("set dislike fail:") + message)
        }
        function onFreePortStatus(status, message) {
            if (!status)
                mainWindow.showTips(qsTr("Release failed!"))
            linePages.reloadToday()
        }
        function onFreeOnePortStatus(status, message, port) {
            if (status) {
                if (mainWindow.currentPage === "TodayList")
                    linePages.reloadToday()
            } else {
                mainWindow.showTips(qsTr("Free fail:") + message)
            }
        }
        function onProxyClientMessage(msg) {
            console.log("proxyClientMessage", msg)
        }
    }
}
