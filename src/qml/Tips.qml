import QtQuick 2.12

// A message the user acknowledges.
DialogFrame {
    id: root
    objectName: "tipsDialog"
    property string message: ""
    title: qsTr("Tips")
    panelWidth: 330
    panelHeight: 250

    Text {
        objectName: "tipsText"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: okButton.top
        anchors.bottomMargin: 12
        text: root.message
        wrapMode: Text.Wrap
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        color: "#333333"
        font.pixelSize: 14
    }
    DTNorButton {
        id: okButton
        objectName: "tipsOk"
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: 120
        height: 36
        btText: qsTr("OK")
        onClicked: root.closeRequested()
    }
}
