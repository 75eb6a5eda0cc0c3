import QtQuick 2.12
import Qt.Controller 1.0

// One price card: IP count, current price (the part after "/" in small type), previous price,
// unit price and the purchase link.
Rectangle {
    id: root
    property string ipNums: "---"
    property string currentPrice: "---"
    property string beforePrice: "---"
    property string unitPrice: "---"
    property string ipNumText: ""
    property int ipNumTextSize: 22
    property color currentPriceTextColor: "#3C7FFF"

    readonly property int slash: currentPrice.indexOf("/")

    width: 184
    height: 300
    radius: 14
    color: "white"
    border.color: "#e4e9f2"

    Column {
        anchors.top: parent.top
        anchors.topMargin: 26
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 14
        Text {
            objectName: "priceIpNums"
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.ipNumText.length > 0 ? root.ipNumText : root.ipNums + qsTr("IPs")
            color: "#333333"
            font.pixelSize: root.ipNumTextSize
            font.bold: true
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            Text {
                anchors.baseline: big.baseline
                text: "$ "
                color: root.currentPriceTextColor
                font.pixelSize: 16
            }
            Text {
                id: big
                objectName: "priceCurrent"
                text: root.slash >= 0 ? root.currentPrice.substring(0, root.slash) : root.currentPrice
                color: root.currentPriceTextColor
                font.pixelSize: 34
                font.bold: true
            }
            Text {
                objectName: "priceSuffix"
                anchors.baseline: big.baseline
                visible: root.slash >= 0
                text: root.slash >= 0 ? "/" + root.currentPrice.substring(root.slash + 1) : ""
                color: root.currentPriceTextColor
                font.pixelSize: 13
            }
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "$" + root.beforePrice
            color: "#a5adba"
            font.pixelSize: 14
            font.strikeout: true
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "$" + root.unitPrice + "/IP"
            color: "#55687D"
            font.pixelSize: 14
        }
    }
    DTNorButton {
        objectName: "buyPlan"
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 24
        anchors.horizontalCenter: parent.horizontalCenter
        width: 140
        height: 38
        btText: qsTr("Buy Plan")
        onClicked: Controller.jumpUrl(Controller.getJumpUrl("url_recharge_S5"))
    }
}
