import QtQuick 2.12
import Qt.Controller 1.0

// The line, today and favourite views of both plans, with the row context menu and its port
// list. Decisions stay with the window and the backend: this page only shows and reports.
Item {
    id: root
    objectName: "linePages"
    // "ProxyList", "TodayList" or "Favorites"; and whether the residential plan is shown.
    property string page: "ProxyList"
    property bool residential: false
    // Range text of the information item, refreshed after a new range.
    property string rangeText: Controller.getPortRange()

    signal rowSelected(var record, int row, bool todayOrFavourite)
    // A click the window must judge (proxy state, binding in progress, menu or tips).
    signal rowActivated(var record, int row, int button, real x, real y)
    signal connectChosen()
    signal portChosen(int port, bool usable)
    signal addFavouriteChosen()
    signal removeFavouriteChosen()
    signal remarkChosen(var record)

    readonly property LineTable currentTable: page === "TodayList" ? (residential ? resiTodayView : todayView)
                                            : page === "Favorites" ? favouriteView : lineView

    // Empties every view (the proxy was switched off).
    function clearViews() {
        for (const model of [Controller.lineModel, Controller.resiLineModel, Controller.todayModel,
                             Controller.resiTodayModel, Controller.favouriteModel, Controller.resiFavouriteModel])
            model.show([])
    }
    // Re-reads the visible view's list through its model (only what changed reaches the view).
    function reload() {
        if (page === "TodayList")
            reloadToday()
        else if (page === "Favorites")
            reloadFavourites()
        else
            reloadLines()
    }
    function reloadLines() {
        lineView.model.refresh()
    }
    function reloadToday() {
        Controller.todayModel.refresh()
        Controller.resiTodayModel.refresh()
    }
    function reloadFavourites() {
        favouriteView.model.refresh()
    }
    function showTodaySearch(records) {
        (residential ? resiTodayView : todayView).model.show(records)
    }
    function clearCurrentRow() {
        lineView.clearSelection()
    }

    // Opens the menu at (x, y) with the binding items and/or the favourite item.
    function openMenu(x, y, bindingItems, addFavourite, removeFavourite) {
        menu.bindingItems = bindingItems
        menu.addFavourite = addFavourite
        menu.removeFavourite = removeFavourite
        menu.x = Math.max(0, Math.min(x, width - 10 - menu.width))
        menu.y = Math.max(0, Math.min(y, height - 10 - menu.height))
        portList.visible = false
        menu.visible = true
    }
    function closeMenu() {
        portList.visible = false
        menu.visible = false
    }

    LineTable {
        id: lineView
        objectName: "lineView"
        anchors.fill: parent
        anchors.margins: 12
        anchors.topMargin: 4
        visible: root.page === "ProxyList"
        maskIp: root.page !== "TodayList"
        model: root.residential ? Controller.resiLineModel : Controller.lineModel
        columns: ["ProxyIP", "Ping", "Country", "State", "City", "ZIP", "ISP"]
        onRowClicked: root.rowActivated(record, index, button, x + anchors.leftMargin, y + anchors.topMargin)
    }
    LineTable {
        id: todayView
        objectName: "todayView"
        anchors.fill: lineView
        visible: root.page === "TodayList" && !root.residential
        model: Controller.todayModel
        columns: ["ProxyIP", "Ping", "Country", "City", "ZIP", "BindType", "BindTime", "BindPort", "Available",
            "Online"]
        onRowClicked: root.rowActivated(record, index, button, x + lineView.anchors.leftMargin,
                                        y + lineView.anchors.topMargin)
    }
    LineTable {
        id: resiTodayView
        objectName: "resiTodayView"
        anchors.fill: lineView
        visible: root.page === "TodayList" && root.residential
        model: Controller.resiTodayModel
        columns: ["ProxyIP", "Ping", "Country", "City", "ZIP", "BindTime", "BindPort", "Online"]
        onRowClicked: root.rowActivated(record, index, button, x + lineView.anchors.leftMargin,
                                        y + lineView.anchors.topMargin)
    }
    LineTable {
        id: favouriteView
        objectName: "favouriteView"
        anchors.fill: lineView
        visible: root.page === "Favorites"
        model: root.residential ? Controller.resiFavouriteModel : Controller.favouriteModel
        columns: root.residential ? ["ProxyIP", "Ping", "Country", "City", "ZIP", "BindTime", "BindPort", "Online",
                                     "Remark"]
                                  : ["ProxyIP", "Ping", "Country", "City", "ZIP", "BindTime", "BindPort",
                                     "Available", "Online", "Remark"]
        onRowClicked: root.rowActivated(record, index, button, x + lineView.anchors.leftMargin,
                                        y + lineView.anchors.topMargin)
        onRemarkClicked: root.remarkChosen(record)
    }

    // A click elsewhere closes the menu.
    MouseArea {
        anchors.fill: parent
        visible: menu.visible
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        onClicked: root.closeMenu()
    }

    Rectangle {
        id: menu
        objectName: "lineMenu"
        property bool bindingItems: true
        property bool addFavourite: false
        property bool removeFavourite: false
        visible: false
        width: 180
        height: (bindingItems ? 90 : 0) + (addFavourite || removeFavourite ? (bindingItems ? 40 : 30) : 0)
        radius: 8
        color: "white"
        border.color: "#dfe3ea"
        z: 10

        component MenuEntry: Rectangle {
            id: entry
            property string label: ""
            property bool information: false
            signal activated()
            signal hovered()
            width: menu.width - 4
            x: 2
            height: 30
            radius: 6
            color: entryMouse.containsMouse && !information ? "#eef3ff" : "transparent"
            Text {
                anchors.verticalCenter: parent.verticalCenter
                anchors.left: parent.left
                anchors.leftMargin: 12
                anchors.right: parent.right
                elide: Text.ElideRight
                text: entry.label
                color: entry.information ? "#a5adba" : "#333333"
                font.pixelSize: 13
            }
            MouseArea {
                id: entryMouse
                anchors.fill: parent
                hoverEnabled: true
                onEntered: entry.hovered()
                onClicked: entry.activated()
            }
        }

        Column {
            anchors.top: parent.top
            anchors.topMargin: menu.bindingItems ? 0 : (menu.height - 30) / 2
            MenuEntry {
                objectName: "menuConnect"
                visible: menu.bindingItems
                label: qsTr("Connect")
                onActivated: {
                    root.closeMenu()
                    root.connectChosen()
                }
            }
            MenuEntry {
                objectName: "menuForward"
                visible: menu.bindingItems
                label: qsTr("Forward Port To Proxy")
                onHovered: portList.openBeside()
                onActivated: portList.openBeside()
            }
            MenuEntry {
                objectName: "menuRange"
                visible: menu.bindingItems
                information: true
                label: qsTr("Forward ") + root.rangeText
                onActivated: root.closeMenu()
            }
            Item {
                width: 1
                height: menu.bindingItems && (menu.addFavourite || menu.removeFavourite) ? 10 : 0
            }
            MenuEntry {
                objectName: "menuAddFavourite"
                visible: menu.addFavourite
                label: qsTr("Add To Favorites")
                onActivated: {
                    root.closeMenu()
                    root.addFavouriteChosen()
                }
            }
            MenuEntry {
                objectName: "menuRemoveFavourite"
                visible: menu.removeFavourite
                label: qsTr("Remove Favorites")
                onActivated: {
                    root.closeMenu()
                    root.removeFavouriteChosen()
                }
            }
        }
    }

    Rectangle {
        id: portList
        objectName: "portList"
        function openBeside() {
            Controller.portSlotModel.refresh()
            const right = menu.x + 185
            x = right + width <= root.width ? right : Math.max(0, menu.x - width - 5)
            y = Math.max(0, Math.min(menu.y, root.height - 10 - height))
            visible = true
        }
        visible: false
        width: 170
        height: Math.min(300, Controller.portSlotModel.count * 30 + 8)
        radius: 8
        color: "white"
        border.color: "#dfe3ea"
        z: 11
        ListView {
            anchors.fill: parent
            anchors.margins: 4
            clip: true
            model: Controller.portSlotModel
            delegate: Rectangle {
                objectName: "portEntry_" + model.qPort
                width: ListView.view.width
                height: 30
                radius: 6
                color: portMouse.containsMouse ? "#eef3ff" : "transparent"
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 10
                    text: model.qPort + (model.qUsed ? qsTr("(used)") : !model.qUsable ? qsTr("(unusable)")
                                                                       : qsTr("(free)"))
                    color: model.qUsed || !model.qUsable ? "#a5adba" : "#333333"
                    font.pixelSize: 13
                }
                MouseArea {
                    id: portMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: {
                        const port = model.qPort
                        const usable = model.qUsable
                        root.closeMenu()
                        root.portChosen(port, usable)
                    }
                }
            }
        }
    }
}
