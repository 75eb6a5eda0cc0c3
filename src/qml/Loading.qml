import QtQuick 2.12

// Busy indicator: dots circling with an out-cubic easing, staggered, while visible.
Item {
    id: root
    property int itemCount: 5
    property int itemSize: 5
    property color itemColor: "#3C7FFF"
    property int duration: 2000
    property bool running: visible

    width: 50
    height: 50

    Repeater {
        model: root.itemCount
        Item {
            id: dotHolder
            anchors.fill: parent
            opacity: 0
            Rectangle {
                x: (root.width - root.itemSize) / 2
                y: 0
                width: root.itemSize
                height: root.itemSize
                radius: root.itemSize / 2
                color: root.itemColor
            }
            SequentialAnimation {
                running: root.running
                loops: Animation.Infinite
                PauseAnimation { duration: index * 100 }
                ParallelAnimation {
                    RotationAnimation {
                        target: dotHolder
                        from: 0
                        to: 360
                        duration: root.duration
                        easing.type: Easing.OutCubic
                    }
                    NumberAnimation {
                        target: dotHolder
                        property: "opacity"
                        from: 0
                        to: 1
                        duration: root.duration / 8
                    }
                }
            }
        }
    }
}
