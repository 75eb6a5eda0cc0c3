import QtQuick 2.12
import Qt.Controller 1.0

// A remark for a favourite line, at most 100 characters.
DialogFrame {
    id: root
    objectName: "remarkDialog"
    property string ip: ""
    property string planType: ""
    property string lastText: ""
    title: qsTr("Remark")
    panelWidth: 420
    panelHeight: 220

    Component.onCompleted: {
        input.text = lastText
        input.forceActiveFocus()
    }

    DTLineEditNormal {
        id: input
        objectName: "remarkInput"
        anchors.top: parent.top
        anchors.topMargin: 8
        anchors.left: parent.left
        anchors.right: parent.right
        height: 36
        pixelSize: 13
        placeholderText: root.lastText.length === 0 ? qsTr("Remark: Max number of letter is 100 !") : ""
        Component.onCompleted: input.input.maximumLength = 100
        onAccepted: submit.clicked()
    }
    DTNorButton {
        id: submit
        objectName: "remarkSubmit"
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: 130
        height: 36
        btText: qsTr("Submit")
        onClicked: {
            Controller.setFavouriteRemark(root.ip, root.planType, input.text)
            root.closeRequested()
        }
    }
}
