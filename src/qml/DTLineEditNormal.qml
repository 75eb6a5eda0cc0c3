import QtQuick 2.12

// A single-line input whose placeholder shows only while it is empty and unfocused.
FocusScope {
    id: root
    property alias text: input.text
    property string placeholderText: ""
    property alias echoMode: input.echoMode
    property alias wrapMode: input.wrapMode
    property alias font: input.font
    property alias color: input.color
    property alias validator: input.validator
    property alias input: input
    property int textLeftPadding: 10
    property int textRightPadding: 10
    property int pixelSize: 12
    property url enterImage: ""
    property url exitImge: ""
    property color borderColor: "#dfe3ea"
    // Where Tab goes from this field (null: the default focus chain).
    property Item nextField: null

    signal accepted()

    implicitWidth: 192
    implicitHeight: 30

    Rectangle {
        anchors.fill: parent
        radius: 8
        color: "white"
        border.color: input.activeFocus ? "#3C7FFF" : root.borderColor
        Image {
            anchors.fill: parent
            source: input.activeFocus ? root.enterImage : root.exitImge
            visible: source.toString() !== ""
        }
    }
    TextInput {
        id: input
        objectName: root.objectName + "_input"
        anchors.fill: parent
        anchors.leftMargin: root.textLeftPadding
        anchors.rightMargin: root.textRightPadding
        verticalAlignment: TextInput.AlignVCenter
        focus: true
        clip: true
        selectByMouse: true
        color: "#333333"
        font.pixelSize: root.pixelSize
        onAccepted: root.accepted()
        Keys.onTabPressed: {
            if (root.nextField)
                root.nextField.forceActiveFocus()
            else
                event.accepted = false
        }
    }
    Text {
        anchors.fill: input
        verticalAlignment: Text.AlignVCenter
        text: root.placeholderText
        color: "#a5adba"
        font.pixelSize: root.pixelSize
        visible: input.text.length === 0 && !input.activeFocus
    }
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.NoButton
        cursorShape: Qt.IBeamCursor
    }
}
