import QtQuick 2.12

// Shown while a bind request is on its way; swallows all input until the result.
Item {
    id: root
    objectName: "bindWaiting"
    width: 1200
    height: 763

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: Qt.rgba(0, 0, 0, 100 / 255)
    }
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.AllButtons
        onWheel: wheel.accepted = true
    }
    Rectangle {
        anchors.centerIn: parent
        width: 215
        height: 140
        radius: 14
        color: "white"
        Column {
            anchors.centerIn: parent
            spacing: 14
            Loading {
                anchors.horizontalCenter: parent.horizontalCenter
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Binding...")
                color: "#333333"
                font.pixelSize: 14
            }
        }
    }
}
