import QtQuick 2.12

// A short result line: visible for 2.5 s, then fading out over 0.5 s.
Rectangle {
    id: root
    objectName: "toast"
    property bool ok: true
    property string text: ""

    function show(message, success) {
        text = message
        ok = success
        anim.restart()
    }

    width: row.implicitWidth + 40
    height: 44
    radius: 22
    color: "white"
    border.color: "#e4e9f2"
    opacity: 0
    visible: opacity > 0

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 8
        Image {
            anchors.verticalCenter: parent.verticalCenter
            source: root.ok ? "qrc:/image/tick.svg" : "qrc:/image/cross.svg"
            sourceSize.width: 18
            sourceSize.height: 18
        }
        Text {
            objectName: "toastText"
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            color: "#333333"
            font.pixelSize: 14
        }
    }

    SequentialAnimation {
        id: anim
        PropertyAction { target: root; property: "opacity"; value: 1 }
        PauseAnimation { duration: 2500 }
        NumberAnimation { target: root; property: "opacity"; to: 0; duration: 500 }
    }
}
