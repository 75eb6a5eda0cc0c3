import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0

// The local port range: a new begin port and count, applied while the proxy runs.
Item {
    id: root
    objectName: "settingsPage"
    signal tipsRequested(string message)
    // Emitted after a range was applied, with the new range text for the context menu.
    signal rangeApplied(string range)

    Rectangle {
        anchors.fill: parent
        anchors.margins: 20
        radius: 12
        color: "white"

        Column {
            anchors.fill: parent
            anchors.margins: 28
            spacing: 18
            Text {
                text: qsTr("Local Port Settings")
                color: "#333333"
                font.pixelSize: 18
                font.bold: true
            }
            Row {
                spacing: 14
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Begin Port")
                    color: "#333333"
                    font.pixelSize: 14
                }
                DTLineEditNormal {
                    id: beginPort
                    objectName: "settingsBeginPort"
                    width: 160
                    height: 34
                    pixelSize: 14
                    text: Controller.getStartPort()
                    validator: IntValidator { bottom: 1000; top: 65535 }
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Port Number")
                    color: "#333333"
                    font.pixelSize: 14
                }
                DTLineEditNormal {
                    id: portNumber
                    objectName: "settingsPortNumber"
                    width: 120
                    height: 34
                    pixelSize: 14
                    placeholderText: "20"
                    text: Controller.getPortNum()
                    validator: IntValidator { bottom: 0; top: 500 }
                }
                DTNorButton {
                    objectName: "settingsUsed"
                    width: 100
                    height: 34
                    btText: qsTr(" Used ")
                    onClicked: {
                        if (!Controller.getIsStart()) {
                            root.tipsRequested(qsTr("Please start the proxy first!"))
                            return
                        }
                        status.text = Controller.setPortNumStr(beginPort.text, portNumber.text)
                        root.rangeApplied(Controller.getPortRange())
                    }
                }
            }
            Rectangle {
                width: parent.width
                height: parent.height - 140
                radius: 8
                color: "#f6f8fb"
                border.color: "#e4e9f2"
                ScrollView {
                    anchors.fill: parent
                    anchors.margins: 10
                    clip: true
                    TextArea {
                        id: status
                        objectName: "settingsStatus"
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextEdit.Wrap
                        color: "#333333"
                        font.pixelSize: 13
                        background: null
                    }
                }
            }
        }
    }
}
