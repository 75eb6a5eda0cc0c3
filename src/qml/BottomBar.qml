import QtQuick 2.12

// Under the list pages: the port-forward list, a refresh of the current page, country codes.
Item {
    id: root
    signal portForwardClicked()
    signal refreshClicked()
    signal countryCodeClicked()

    height: 52

    Row {
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 12
        DTNorButton {
            objectName: "portForwardButton"
            width: 150
            height: 34
            btText: qsTr("PortForwardList")
            onClicked: root.portForwardClicked()
        }
        DTNorButton {
            objectName: "refreshButton"
            width: 100
            height: 34
            btText: qsTr("Refresh")
            buttonColor: "white"
            pressedColor: "#f2f5fa"
            textColor: "#3C7FFF"
            borderColor: "#3C7FFF"
            onClicked: root.refreshClicked()
        }
    }
    Text {
        objectName: "countryCodeLink"
        anchors.right: parent.right
        anchors.rightMargin: 24
        anchors.verticalCenter: parent.verticalCenter
        text: qsTr("Country Code")
        color: "#3C7FFF"
        font.pixelSize: 13
        font.underline: true
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: root.countryCodeClicked()
        }
    }
}
