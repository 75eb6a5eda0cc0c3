import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0
import Qt.UpdateInfo 1.0
import Qt.UserInfo 1.0

// The update offer: release notes in the chosen language, download with progress, then the
// installer starts and the client quits.
DialogFrame {
    id: root
    objectName: "updateDialog"
    // Set by the window: whether the user asked, and the interface language index.
    property bool checkByUser: false
    property int languageIndex: 0
    readonly property bool needUpdate: UpdateInfo.getIsNeedUpdate()
    readonly property bool forced: needUpdate && UpdateInfo.getForceUpate()

    title: qsTr("Update")
    panelWidth: 520
    panelHeight: 400
    closable: !forced

    function notesFor(index) {
        if (!needUpdate)
            return " "
        const parts = UpdateInfo.getDesc().split("\n\n")
        return index < parts.length ? parts[index] : parts[0]
    }

    Connections {
        target: Controller
        function onSendDownloadUpdatePraProgress(currentValue, maxValue) {
            progress.value = maxValue > 0 ? currentValue / maxValue : 0
        }
        function onSendDownloadFileSuccess() {
            Controller.runProgrameByName(Controller.getUpdateFileName())
            Qt.quit()
        }
        function onSendDownloadFileFailed(message) {
            failure.text = message
            progress.visible = false
            buttons.visible = true
        }
    }

    onCloseRequested: {
        if (!checkByUser) {
            Controller.checkIp()
            Controller.readAreaList()
            Controller.getConfig()
            if (Controller.getAutoLogin())
                Controller.login(UserInfo.getUserName(), UserInfo.getPassword())
        }
    }

    Column {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 8
        Text {
            objectName: "updateHeadline"
            text: root.needUpdate ? qsTr("Found a new version:") + " " + UpdateInfo.getShowVersion()
                                  : qsTr("No update program at present")
            color: "#333333"
            font.pixelSize: 15
            font.bold: true
        }
        Text {
            visible: root.needUpdate
            text: qsTr("Try comprehensively upgraded ZQ S5 Manager!")
            color: "#333333"
            font.pixelSize: 13
        }
        Text {
            visible: root.needUpdate
            text: qsTr("Note: If update fails,download from web:")
            color: "#55687D"
            font.pixelSize: 12
        }
        Text {
            visible: root.needUpdate
            text: Controller.getWebsiteUrl()
            color: "#3C7FFF"
            font.pixelSize: 12
            font.underline: true
            MouseArea {
                anchors.fill: parent
                cursorShape: Qt.PointingHandCursor
                onClicked: Controller.jumpUrl(Controller.getWebsiteUrl())
            }
        }
        Rectangle {
            width: parent.width
            height: 120
            radius: 8
            color: "#f6f8fb"
            ScrollView {
                anchors.fill: parent
                anchors.margins: 8
                clip: true
                Text {
                    objectName: "updateNotes"
                    width: 440
                    text: root.notesFor(root.languageIndex)
                    wrapMode: Text.Wrap
                    color: "#333333"
                    font.pixelSize: 12
                }
            }
        }
        Text {
            id: failure
            color: "#ff5764"
            font.pixelSize: 12
            visible: text.length > 0
        }
        ProgressBar {
            id: progress
            objectName: "updateProgress"
            width: parent.width
            visible: false
            from: 0
            to: 1
        }
    }

    Row {
        id: buttons
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 20
        DTNorButton {
            objectName: "updateButton"
            visible: root.needUpdate
            width: 130
            height: 36
            btText: qsTr("Update")
            onClicked: {
                failure.text = ""
                progress.value = 0
                progress.visible = true
                buttons.visible = false
                Controller.downloadUpdateFile(UpdateInfo.getDownUrl())
            }
        }
        DTNorButton {
            objectName: "updateCancel"
            visible: !root.forced
            width: 130
            height: 36
            btText: qsTr("Cancel")
            buttonColor: "white"
            pressedColor: "#f2f5fa"
            textColor: "#333333"
            borderColor: "#dfe3ea"
            onClicked: root.closeRequested()
        }
    }
}
