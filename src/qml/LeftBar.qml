import QtQuick 2.12
import QtQuick.Controls 2.2

// The page buttons and the link entries.
Rectangle {
    id: root
    property bool showPages: true
    property bool showApi: true
    property string versionText: ""
    readonly property bool anyChecked: pageProxyListId.checked || pageTodayListId.checked || pageFavoritesId.checked
                                       || pageApiId.checked
    property alias pageProxyList: pageProxyListId
    property alias pageTodayList: pageTodayListId
    property alias pageFavorites: pageFavoritesId
    property alias pageApi: pageApiId

    signal pageChanged()
    signal linkClicked(string key)
    signal updateClicked()

    width: 168
    color: "white"
    radius: 12
    Rectangle {
        // Square top corners under the top bar.
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: 12
        color: "white"
    }
    Rectangle {
        anchors.top: parent.top
        anchors.right: parent.right
        width: 1
        height: parent.height - 12
        color: "#eef1f6"
    }

    DTExclusiveGroup {
        id: pageGroup
        onCurrentChanged: root.pageChanged()
    }
    Column {
        anchors.top: parent.top
        anchors.topMargin: 16
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 6
        visible: root.showPages
        DTExclusiveButton {
            id: pageProxyListId
            objectName: "pageProxyList"
            exclusiveGroup: pageGroup
            checked: true
            width: 144
            text: qsTr("ProxyList")
            icon: "qrc:/image/proxylist_off.svg"
            checkIcon: "qrc:/image/proxylist_on.svg"
        }
        DTExclusiveButton {
            id: pageTodayListId
            objectName: "pageTodayList"
            exclusiveGroup: pageGroup
            width: 144
            text: qsTr("TodayList")
            icon: "qrc:/image/today_off.svg"
            checkIcon: "qrc:/image/today_on.svg"
        }
        DTExclusiveButton {
            id: pageFavoritesId
            objectName: "pageFavorites"
            exclusiveGroup: pageGroup
            width: 144
            text: qsTr("Favorites")
            icon: "qrc:/image/favorites_off.svg"
            checkIcon: "qrc:/image/favorites_on.svg"
        }
        DTExclusiveButton {
            id: pageApiId
            objectName: "pageApi"
            exclusiveGroup: pageGroup
            visible: root.showApi
            width: 144
            text: qsTr("API")
            icon: "qrc:/image/api_off.svg"
            checkIcon: "qrc:/image/api_on.svg"
        }
    }

    Column {
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 20
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 4
        Repeater {
            model: [{ "name": "linkS5", "text": qsTr("S5"), "icon": "qrc:/image/globe.svg", "key": "url_offical_ZQS5" },
                { "name": "linkGuide", "text": qsTr("Proxy Guide"), "icon": "qrc:/image/guide.svg",
                    "key": "url_guide_proxy" },
                { "name": "linkUpdate", "text": qsTr("Update"), "icon": "qrc:/image/update.svg", "key": "" },
                { "name": "linkTelegram", "text": qsTr("TG Channel"), "icon": "qrc:/image/channel.svg",
                    "key": "url_telegram" }]
            Rectangle {
                objectName: modelData.name
                width: 144
                height: 34
                radius: 8
                color: linkMouse.containsMouse ? "#eef3ff" : "transparent"
                Row {
                    anchors.left: parent.left
                    anchors.leftMargin: 14
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 8
                    Image {
                        anchors.verticalCenter: parent.verticalCenter
                        source: modelData.icon
                        sourceSize.width: 16
                        sourceSize.height: 16
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: modelData.text
                        color: linkMouse.containsMouse ? "#3C7FFF" : "#55687D"
                        font.pixelSize: 13
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        visible: modelData.key === ""
                        text: root.versionText
                        color: "#a5adba"
                        font.pixelSize: 12
                    }
                }
                MouseArea {
                    id: linkMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: modelData.key === "" ? root.updateClicked() : root.linkClicked(modelData.key)
                }
            }
        }
    }
}
