import QtQuick 2.12
import QtQuick.Controls 2.2

// An editable combo box with type-ahead. Picking an entry emits selected() first and only then
// writes the entry into the field (which emits comboxTextChanged once more), so owners can tell a
// pick from typing.
Control {
    id: root
    property var model: []
    readonly property int count: model ? model.length : 0
    property alias currentText: field.text
    property int comboxIndex: 0
    property string placeholderText: qsTr("random")
    property alias popup: popupId
    property int popupHeight: 300
    property bool editEnbale: true
    property bool editClick: false
    property int textSize: 14
    property color fillColor: "white"
    property color borderColor: "#dfe3ea"
    property color selectFillColor: "#eef3ff"
    property color backgroundcolor: "white"
    property int backgroundBorderWidth: 1
    property int backgroundRadius: 8
    property int textCapitalization: Font.MixedCase
    // Height of one entry of the drop-down.
    property int entryHeight: 30

    signal comboxTextChanged(var text)
    signal selected(var text)

    implicitWidth: 192
    implicitHeight: 30

    background: Rectangle {
        color: root.backgroundcolor
        border.color: field.activeFocus ? "#3C7FFF" : root.borderColor
        border.width: root.backgroundBorderWidth
        radius: root.backgroundRadius
    }

    TextInput {
        id: field
        objectName: root.objectName + "_field"
        anchors.left: parent.left
        anchors.right: arrow.left
        anchors.leftMargin: 10
        anchors.rightMargin: 4
        anchors.verticalCenter: parent.verticalCenter
        font.pixelSize: root.textSize
        font.capitalization: root.textCapitalization
        color: "#333333"
        clip: true
        selectByMouse: true
        readOnly: !root.editEnbale
        onTextChanged: root.comboxTextChanged(text)

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.placeholderText
            color: "#a5adba"
            font.pixelSize: root.textSize
            visible: field.text.length === 0 && !field.activeFocus
        }
        MouseArea {
            anchors.fill: parent
            enabled: !root.editEnbale || root.editClick
            onClicked: popupId.visible ? popupId.close() : popupId.open()
        }
    }

    Item {
        id: arrow
        objectName: root.objectName + "_arrow"
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: 28
        Image {
            anchors.centerIn: parent
            source: "qrc:/image/arrow_down.svg"
            sourceSize.width: 10
            sourceSize.height: 6
            rotation: popupId.visible ? 180 : 0
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: popupId.visible ? popupId.close() : popupId.open()
        }
    }

    Popup {
        id: popupId
        objectName: root.objectName + "_popup"
        y: root.height + 2
        width: root.width
        height: Math.min(root.popupHeight, Math.max(1, root.count) * root.entryHeight + 8)
        padding: 4
        background: Rectangle {
            color: root.fillColor
            border.color: root.borderColor
            radius: root.backgroundRadius
        }
        contentItem: ListView {
            id: list
            objectName: root.objectName + "_list"
            clip: true
            model: root.model
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar {}
            delegate: Rectangle {
                objectName: root.objectName + "_entry" + index
                width: list.width
                height: root.entryHeight
                radius: 4
                color: entryMouse.containsMouse || index === root.comboxIndex ? root.selectFillColor : "transparent"
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    anchors.left: parent.left
                    anchors.leftMargin: 8
                    anchors.right: parent.right
                    elide: Text.ElideRight
                    text: modelData
                    color: "#333333"
                    font.pixelSize: root.textSize
                }
                MouseArea {
                    id: entryMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: {
                        root.comboxIndex = index
                        popupId.close()
                        root.selected(modelData)
                        field.text = modelData
                    }
                }
            }
        }
    }
}
