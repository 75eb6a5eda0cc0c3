import QtQuick 2.12

// The account row of the current plan (IP count or residential traffic), the local proxy and
// exit addresses, and the proxy switch.
Rectangle {
    id: root
    property bool residential: false
    property bool proxyOn: false
    property string localIp: ""
    property string ipCountText: "--"
    property string checkedIp: "----"
    property bool ipOk: true
    property string resiRemain: "-- G"
    property string resiTotal: "/" + "--- G"
    property string resiExpire: "**** - ** - **"
    property bool spinning: false
    property bool resiSpinning: false

    signal switchClicked()
    signal ipRefreshClicked()
    signal resiRefreshClicked()
    signal rechargeClicked(string key)
    signal checkClicked()

    height: 56
    radius: 12
    color: "white"

    component Label: Text {
        color: "#55687D"
        font.pixelSize: 12
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    }
    component Value: Text {
        color: "#333333"
        font.pixelSize: 13
        font.bold: true
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    }
    component Link: Text {
        id: link
        signal activated()
        color: "#3C7FFF"
        font.pixelSize: 12
        font.underline: linkMouse.containsMouse
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
        MouseArea {
            id: linkMouse
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: link.activated()
        }
    }
    component Spinner: Image {
        id: spinner
        property bool spinning: false
        signal activated()
        source: "qrc:/image/refresh.svg"
        sourceSize.width: 16
        sourceSize.height: 16
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
        RotationAnimation on rotation {
            running: spinner.spinning
            loops: Animation.Infinite
            from: 0
            to: 360
            duration: 700
        }
        onSpinningChanged: if (!spinning) rotation = 0
        MouseArea {
            anchors.fill: parent
            anchors.margins: -4
            cursorShape: Qt.PointingHandCursor
            onClicked: spinner.activated()
        }
    }

    Row {
        id: s5Row
        objectName: "s5Row"
        visible: !root.residential
        anchors.left: parent.left
        anchors.leftMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10
        Label { text: qsTr("Still Have") }
        Value {
            objectName: "ipCountText"
            text: root.ipCountText === "--" ? "-- " + qsTr("IPs") : root.ipCountText
        }
        Spinner {
            objectName: "ipRefresh"
            spinning: root.spinning
            onActivated: root.ipRefreshClicked()
        }
        Link {
            objectName: "s5Recharge"
            text: qsTr("Recharge")
            onActivated: root.rechargeClicked("url_recharge_S5")
        }
    }
    Row {
        id: resiRow
        objectName: "resiRow"
        visible: root.residential
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
        Label { text: qsTr("Remaining traffic") }
        Value {
            objectName: "resiRemain"
            text: root.resiRemain
        }
        Label {
            objectName: "resiTotal"
            text: root.resiTotal
        }
        Spinner {
            objectName: "resiRefresh"
            spinning: root.resiSpinning
            onActivated: root.resiRefreshClicked()
        }
        Label { text: qsTr("Expiration time: ") }
        Value {
            objectName: "resiExpire"
            text: root.resiExpire
            font.pixelSize: 12
        }
        Link {
            objectName: "resiRecharge"
            text: qsTr("Recharge")
            onActivated: root.rechargeClicked("url_recharge_ResidentTraffic")
        }
    }

    Row {
        anchors.right: switchImage.left
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
        Label { text: qsTr("Local Proxy") }
        Value {
            objectName: "localProxyText"
            text: root.localIp + ":" + "random"
            font.pixelSize: 12
        }
        Item { width: 4; height: 1 }
        Label { text: qsTr("Local IP") }
        Value {
            objectName: "localIpText"
            text: root.checkedIp
            color: root.ipOk ? "#333333" : "#ff5764"
            font.pixelSize: 12
        }
        Link {
            objectName: "checkIpButton"
            text: qsTr("Check")
            onActivated: root.checkClicked()
        }
    }

    Image {
        id: switchImage
        objectName: "proxySwitch"
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        source: root.proxyOn ? "qrc:/image/switch_on.svg" : "qrc:/image/switch_off.svg"
        sourceSize.width: 52
        sourceSize.height: 28
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: root.switchClicked()
        }
    }
}
