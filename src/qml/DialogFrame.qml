import QtQuick 2.12

// The veil and panel every modal dialog shares: fills the content area, swallows the mouse,
// closes on Escape.
FocusScope {
    id: root
    property int panelWidth: 330
    property int panelHeight: 250
    property string title: ""
    property bool closable: true
    default property alias content: body.data
    property alias panel: panel

    signal closeRequested()

    width: 1200
    height: 763
    focus: true
    Component.onCompleted: forceActiveFocus()
    Keys.onEscapePressed: {
        if (root.closable)
            root.closeRequested()
    }

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
        id: panel
        anchors.centerIn: parent
        width: root.panelWidth
        height: root.panelHeight
        radius: 14
        color: "white"
        Text {
            id: titleText
            anchors.top: parent.top
            anchors.topMargin: 18
            anchors.horizontalCenter: parent.horizontalCenter
            text: root.title
            font.pixelSize: 16
            font.bold: true
            color: "#333333"
        }
        Image {
            objectName: "dialogClose"
            visible: root.closable
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.margins: 16
            source: "qrc:/image/close_dark.svg"
            sourceSize.width: 14
            sourceSize.height: 14
            MouseArea {
                anchors.fill: parent
                anchors.margins: -6
                cursorShape: Qt.PointingHandCursor
                onClicked: root.closeRequested()
            }
        }
        Item {
            id: body
            anchors.top: titleText.bottom
            anchors.topMargin: 12
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.margins: 20
        }
    }
}
