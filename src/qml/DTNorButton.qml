import QtQuick 2.12

// A text button with an optional icon. Clicks count only while enabled; hover changes the look
// even when disabled.
Rectangle {
    id: root
    property string btText: ""
    property string btMesg: ""
    property url btIcon: ""
    property url pressedIcon: ""
    property url releaseIcon: ""
    property url hoverIcon: ""
    property color buttonColor: "#3C7FFF"
    property color pressedColor: "#4276FF"
    property color releaseColor: buttonColor
    property color disableColor: "#c9d3e2"
    property color textColor: "white"
    property color pressedTextColor: textColor
    property color releaseTextColor: textColor
    property color hoverTextColor: textColor
    property color borderColor: "transparent"
    property color pressdBorderColor: borderColor
    property int pixelSize: 14
    property int textLeftMargin: 0
    property bool bold: false
    property int wrapMode: Text.NoWrap
    property int elide: Text.ElideNone
    property bool textVisible: true
    property bool padOrStretch: true
    property bool underLine: false
    property real hoverOpacity: 1
    property real exitOpacity: 1
    // Shadows Item.enabled so that a disabled button still sees the pointer.
    property bool enabled: true
    readonly property bool hovered: mouse.containsMouse

    signal clicked()
    signal clickedWithMesg(string mesg)
    signal pressed()
    signal release()
    signal mentered()
    signal mexited()

    implicitWidth: Math.max(80, label.implicitWidth + 24)
    implicitHeight: 32
    radius: 8
    color: !enabled ? disableColor : (hovered ? pressedColor : releaseColor)
    border.color: !enabled ? disableColor : (hovered ? pressdBorderColor : borderColor)
    border.width: 1
    opacity: hovered ? hoverOpacity : exitOpacity

    Row {
        anchors.centerIn: textLeftMargin === 0 ? parent : undefined
        anchors.verticalCenter: parent.verticalCenter
        anchors.left: textLeftMargin === 0 ? undefined : parent.left
        anchors.leftMargin: textLeftMargin
        spacing: 6
        Image {
            id: icon
            anchors.verticalCenter: parent.verticalCenter
            source: root.hovered && root.pressedIcon.toString() !== "" ? root.pressedIcon
                  : (!root.hovered && root.releaseIcon.toString() !== "" ? root.releaseIcon : root.btIcon)
            visible: source.toString() !== ""
            sourceSize.width: 16
            sourceSize.height: 16
        }
        Text {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            visible: root.textVisible
            text: root.btText
            color: root.hovered ? root.pressedTextColor : root.releaseTextColor
            font.pixelSize: root.pixelSize
            font.bold: root.bold
            font.underline: root.underLine
            wrapMode: root.wrapMode
            elide: root.elide
            width: root.padOrStretch ? implicitWidth : Math.min(implicitWidth, root.width - 8)
        }
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: root.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
        onEntered: root.mentered()
        onExited: root.mexited()
        onPressed: root.pressed()
        onReleased: root.release()
        onClicked: {
            if (!root.enabled)
                return
            root.clicked()
            root.clickedWithMesg(root.btMesg)
        }
    }
}
