import QtQuick 2.12
import Qt.Controller 1.0

// The balance has run out: offer the recharge page of the plan.
DialogFrame {
    id: root
    objectName: "tipsBuyDialog"
    property string type: "S5"
    title: qsTr("Tips")
    panelWidth: 330
    panelHeight: 250

    Text {
        objectName: "tipsBuyText"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: buttons.top
        anchors.bottomMargin: 12
        text: root.type === "S5" ? qsTr("Your IP number has been used up, please renew.") : qsTr("Insufficient traffic.")
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: "#333333"
        font.pixelSize: 14
    }
    Row {
        id: buttons
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 20
        DTNorButton {
            objectName: "tipsBuySure"
            width: 110
            height: 36
            btText: qsTr("Sure")
            onClicked: {
                Controller.jumpUrl(Controller.getJumpUrl(root.type === "S5" ? "url_recharge_S5"
                                                                             : "url_recharge_ResidentTraffic"))
                root.closeRequested()
            }
        }
        DTNorButton {
            objectName: "tipsBuyCancel"
            width: 110
            height: 36
            btText: qsTr("Cancle")
            buttonColor: "white"
            pressedColor: "#f2f5fa"
            textColor: "#333333"
            borderColor: "#dfe3ea"
            onClicked: root.closeRequested()
        }
    }
}
