import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0
import Qt.Clipboard 1.0

// Every bound port of the local range with copy and free actions (the per-program proxy's port
// is not shown). The list is built when the overlay opens; rows follow their slots and go with
// those a new range drops.
DialogFrame {
    id: root
    objectName: "portForwardDialog"
    title: qsTr("Forward List")
    panelWidth: 1000
    panelHeight: 620

    readonly property string localIp: Controller.getLocalIp()
    Component.onCompleted: Controller.portForwardModel.refresh()

    Clipboard { id: clipboard }

    function toast(message) {
        toastText.text = message
        toastAnim.restart()
    }

    readonly property var columns: [
        { "key": "ip", "title": qsTr("ProxyIP"), "width": 150 },
        { "key": "port", "title": qsTr("Port"), "width": 80 },
        { "key": "status", "title": qsTr("Status"), "width": 80 },
        { "key": "plan", "title": qsTr("PlanType"), "width": 120 },
        { "key": "bindIp", "title": qsTr("BindIp"), "width": 150 },
        { "key": "city", "title": qsTr("City"), "width": 150 },
        { "key": "operate", "title": qsTr("Operate"), "width": 100 },
        { "key": "copy", "title": qsTr("Copy"), "width": 90 }
    ]

    Row {
        id: actions
        anchors.top: parent.top
        anchors.right: parent.right
        spacing: 10
        DTNorButton {
            objectName: "freeAll"
            width: 100
            height: 32
            pixelSize: 13
            btText: qsTr("Free All")
            onClicked: {
                Controller.freeProxyPort()
                root.toast(qsTr("Free All Success!"))
            }
        }
        DTNorButton {
            objectName: "copyAll"
            width: 100
            height: 32
            pixelSize: 13
            btText: qsTr("Copy All")
            buttonColor: "white"
            pressedColor: "#f2f5fa"
            textColor: "#3C7FFF"
            borderColor: "#3C7FFF"
            onClicked: {
                clipboard.setText(Controller.getCopyAllInfo())
                root.toast(qsTr("Copy All Success!"))
            }
        }
    }

    Row {
        id: header
        anchors.top: actions.bottom
        anchors.topMargin: 12
        Repeater {
            model: root.columns
            Text {
                width: modelData.width
                height: 30
                verticalAlignment: Text.AlignVCenter
                text: modelData.title
                color: "#55687D"
                font.pixelSize: 12
                font.bold: true
            }
        }
    }

    ListView {
        id: list
        objectName: "portForwardView"
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        clip: true
        model: Controller.portForwardModel
        ScrollBar.vertical: ScrollBar {}
        delegate: Rectangle {
            id: row
            objectName: "forwardRow_" + model.qPort
            // Asked of the model whenever the row changes; a role's copy could outlive the slot.
            readonly property var slot: model.qPort !== undefined ? Controller.portForwardModel.get(index) : null
            readonly property var line: slot && slot.qUsed ? slot.qLineInfo : null
            width: list.width
            height: 34
            radius: 6
            color: index % 2 === 0 ? "white" : "#FBFDFF"
            Row {
                anchors.verticalCenter: parent.verticalCenter
                Text { width: 150; text: root.localIp; color: "#333333"; font.pixelSize: 12; elide: Text.ElideRight }
                Text { width: 80; text: model.qPort; color: "#333333"; font.pixelSize: 12 }
                Text {
                    width: 80
                    text: model.qUsed ? qsTr("Used") : qsTr("Free")
                    color: model.qUsed ? "#3C7FFF" : "#55687D"
                    font.pixelSize: 12
                }
                Text { width: 120; text: model.qUsed ? model.qPlanType : ""; color: "#333333"; font.pixelSize: 12 }
                Text { width: 150; text: row.line ? row.line.qIp : ""; color: "#333333"; font.pixelSize: 12 }
                Text {
                    width: 150
                    text: row.line ? row.line.qCity : ""
                    color: "#333333"
                    font.pixelSize: 12
                    elide: Text.ElideRight
                }
                Item {
                    width: 100
                    height: 26
                    DTNorButton {
                        objectName: "forwardFree_" + model.qPort
                        visible: model.qUsed
                        width: 64
                        height: 26
                        pixelSize: 12
                        btText: qsTr(" Free ")
                        buttonColor: "white"
                        pressedColor: "#fff0f1"
                        textColor: "#ff5764"
                        borderColor: "#ff5764"
                        onClicked: {
                            Controller.freeOneProxyPort(model.qPort)
                            root.toast(qsTr("Free Success!"))
                        }
                    }
                }
                Item {
                    width: 90
                    height: 26
                    DTNorButton {
                        objectName: "forwardCopy_" + model.qPort
                        visible: model.qUsed
                        width: 64
                        height: 26
                        pixelSize: 12
                        btText: qsTr("Copy")
                        onClicked: {
                            clipboard.setText(root.localIp + ":" + model.qPort)
                            root.toast(qsTr("Copy Success!"))
                            Controller.checkPortStatus(model.qPort)
                        }
                    }
                }
            }
        }
    }

    Rectangle {
        id: privateToast
        objectName: "forwardToast"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.verticalCenter: parent.verticalCenter
        width: toastRow.implicitWidth + 36
        height: 40
        radius: 20
        color: "white"
        border.color: "#e4e9f2"
        opacity: 0
        visible: opacity > 0
        Row {
            id: toastRow
            anchors.centerIn: parent
            spacing: 8
            Image {
                anchors.verticalCenter: parent.verticalCenter
                source: "qrc:/image/tick.svg"
                sourceSize.width: 18
                sourceSize.height: 18
            }
            Text {
                id: toastText
                objectName: "forwardToastText"
                anchors.verticalCenter: parent.verticalCenter
                color: "#333333"
                font.pixelSize: 14
            }
        }
        SequentialAnimation {
            id: toastAnim
            PropertyAction { target: privateToast; property: "opacity"; value: 1 }
            PauseAnimation { duration: 2500 }
            NumberAnimation { target: privateToast; property: "opacity"; to: 0; duration: 500 }
        }
    }
}
