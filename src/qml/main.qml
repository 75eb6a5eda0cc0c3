import QtQuick 2.12
import QtQuick.Controls 2.2
import QtQuick.Window 2.2
import Qt.Controller 1.0

ApplicationWindow {
    id: mainWindow
    readonly property int topWindowWidth: 1200
    readonly property int topWindowHeight: 763
    width: topWindowWidth + 20
    height: topWindowHeight + 20
    visible: true
    title: qsTr("ZQ S5 Proxy")

    Rectangle {
        anchors.fill: parent
        anchors.margins: 10
        radius: 8
        color: "#1f2633"

        Column {
            anchors.centerIn: parent
            spacing: 12
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("ZQ S5 Proxy")
                color: "white"
                font.pixelSize: 32
                font.bold: true
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Version %1").arg(Controller.getShowVersion())
                color: "#9fb0c8"
                font.pixelSize: 16
            }
        }
    }
}
