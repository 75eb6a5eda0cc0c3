import QtQuick 2.12

// A navigation tab: pressing checks it and its group unchecks the others.
Rectangle {
    id: root
    property bool checked: false
    property QtObject exclusiveGroup: null
    property string text: ""
    property color textColor: checked ? "#3C7FFF" : "#55687D"
    property url checkIcon: ""
    property url icon: ""
    property bool checkable: true
    property int pixelSize: 14

    implicitWidth: 120
    implicitHeight: 40
    radius: 8
    color: checked ? "#f9fbfd" : "transparent"

    onExclusiveGroupChanged: {
        if (exclusiveGroup)
            exclusiveGroup.bindCheckable(root)
    }

    Row {
        anchors.centerIn: parent
        spacing: 8
        Image {
            anchors.verticalCenter: parent.verticalCenter
            source: root.checked ? root.checkIcon : root.icon
            visible: source.toString() !== ""
            sourceSize.width: 18
            sourceSize.height: 18
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: root.text
            color: root.textColor
            font.pixelSize: root.pixelSize
            font.bold: root.checked
        }
    }

    MouseArea {
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onPressed: {
            if (root.checkable)
                root.checked = true
        }
    }
}
