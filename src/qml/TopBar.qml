import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0

// Logo, plan tabs, language selector and the window buttons, with the account popup.
Rectangle {
    id: root
    property var window: null
    property string userName: "--"
    property string accountText: qsTr("Login")
    readonly property int languageIndex: langComboxId.comboxIndex
    property alias langCombox: langComboxId
    property alias tabS5: tabS5Id
    property alias tabResi: tabResiId
    property alias tabSettings: tabSettingsId
    property alias tabPricing: tabPricingId

    signal helpClicked()
    signal minimiseClicked()
    signal closeClicked()
    signal rechargeClicked()
    signal updateClicked()
    signal accountActionClicked()
    signal languageChosen(int index)
    signal tabChanged()

    height: 64
    color: "white"
    radius: 12
    Rectangle {
        // Square lower corners under the rounded panel top.
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 12
        color: "white"
    }

    Row {
        anchors.left: parent.left
        anchors.leftMargin: 22
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10
        Image {
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/image/logo.svg"
            sourceSize.width: 34
            sourceSize.height: 34
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("ZQ S5 Proxy")
            color: "#333333"
            font.pixelSize: 18
            font.bold: true
        }
    }

    DTExclusiveGroup {
        id: tabGroup
        onCurrentChanged: root.tabChanged()
    }
    Row {
        anchors.left: parent.left
        anchors.leftMargin: 250
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
        DTExclusiveButton {
            id: tabS5Id
            objectName: "tabS5"
            exclusiveGroup: tabGroup
            checked: true
            text: qsTr("S5 Proxy")
            width: 120
        }
        DTExclusiveButton {
            id: tabResiId
            objectName: "tabResi"
            exclusiveGroup: tabGroup
            text: qsTr("Resi Traffic")
            width: 120
        }
        DTExclusiveButton {
            id: tabSettingsId
            objectName: "tabSettings"
            exclusiveGroup: tabGroup
            text: qsTr("Settings")
            width: 110
        }
        DTExclusiveButton {
            id: tabPricingId
            objectName: "tabPricing"
            exclusiveGroup: tabGroup
            text: qsTr("Pricing")
            width: 110
        }
    }

    Row {
        anchors.right: parent.right
        anchors.rightMargin: 18
        anchors.verticalCenter: parent.verticalCenter
        spacing: 14
        DTCombox3 {
            id: langComboxId
            objectName: "langCombox"
            anchors.verticalCenter: parent.verticalCenter
            width: 120
            height: 30
            editEnbale: false
            textSize: 13
            model: Controller.getLangList()
            entryHeight: 40
            popupHeight: 40 * model.length + 8
            comboxIndex: qmlLanguage.getLocalLanguage()
            currentText: model[comboxIndex]
            onSelected: root.languageChosen(comboxIndex)
        }
        Repeater {
            model: [{ "name": "helpButton", "icon": "qrc:/image/help.svg" },
                { "name": "accountButton", "icon": "qrc:/image/account.svg" },
                { "name": "minimiseButton", "icon": "qrc:/image/minimise.svg" },
                { "name": "closeButton", "icon": "qrc:/image/close.svg" }]
            Rectangle {
                objectName: modelData.name
                anchors.verticalCenter: parent.verticalCenter
                width: 30
                height: 30
                radius: 8
                color: iconMouse.containsMouse ? "#eef3ff" : "transparent"
                Image {
                    anchors.centerIn: parent
                    source: modelData.icon
                    sourceSize.width: 20
                    sourceSize.height: 20
                }
                MouseArea {
                    id: iconMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: Qt.PointingHandCursor
                    onClicked: {
                        if (index === 0)
                            root.helpClicked()
                        else if (index === 1)
                            accountPopup.visible ? accountPopup.close() : accountPopup.open()
                        else if (index === 2)
                            root.minimiseClicked()
                        else
                            root.closeClicked()
                    }
                }
            }
        }
    }

    Popup {
        id: accountPopup
        objectName: "accountPopup"
        x: root.width - 287 - 60
        y: root.height - 6
        width: 287
        height: 118
        padding: 14
        background: Rectangle {
            radius: 10
            color: "white"
            border.color: "#e4e9f2"
        }
        Column {
            spacing: 12
            Row {
                spacing: 6
                Text {
                    text: qsTr("ID:")
                    color: "#55687D"
                    font.pixelSize: 14
                }
                Text {
                    objectName: "popupUserName"
                    text: root.userName.length > 0 ? root.userName : "--"
                    color: "#333333"
                    font.pixelSize: 14
                    font.bold: true
                }
            }
            Row {
                spacing: 10
                DTNorButton {
                    objectName: "popupRecharge"
                    width: 78
                    height: 32
                    pixelSize: 13
                    btText: qsTr("Recharge")
                    onClicked: {
                        accountPopup.close()
                        root.rechargeClicked()
                    }
                }
                DTNorButton {
                    objectName: "popupUpdate"
                    width: 78
                    height: 32
                    pixelSize: 13
                    btText: qsTr("Update")
                    buttonColor: "white"
                    pressedColor: "#f2f5fa"
                    textColor: "#3C7FFF"
                    borderColor: "#3C7FFF"
                    onClicked: {
                        accountPopup.close()
                        root.updateClicked()
                    }
                }
                DTNorButton {
                    objectName: "popupAccount"
                    width: 78
                    height: 32
                    pixelSize: 13
                    btText: root.accountText
                    buttonColor: "white"
                    pressedColor: "#f2f5fa"
                    textColor: "#55687D"
                    borderColor: "#dfe3ea"
                    onClicked: {
                        accountPopup.close()
                        root.accountActionClicked()
                    }
                }
            }
        }
    }
}
