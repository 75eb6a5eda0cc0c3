import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0
import Qt.UserInfo 1.0

// The login dialog. A successful login is handled by the main window, which closes it.
DialogFrame {
    id: root
    objectName: "loginDialog"
    title: qsTr("Login")
    panelWidth: 420
    panelHeight: 330

    function submit() {
        if (userInput.text.length > 0 && passwordInput.text.length > 0)
            Controller.login(userInput.text, passwordInput.text)
    }

    Keys.onReturnPressed: submit()
    Keys.onEnterPressed: submit()

    Component.onCompleted: {
        userInput.text = UserInfo.getUserName()
        Controller.setAutoLogin(Controller.getAutoLogin())
        if (Controller.getAutoLogin()) {
            autoMark.btText = "√"
            passwordInput.text = UserInfo.getPassword()
        } else {
            autoMark.btText = ""
        }
        userInput.forceActiveFocus()
    }

    Connections {
        target: Controller
        function onLoginStatus(status, message) {
            if (status)
                return
            if (message === "This user does not exist")
                errorLine.text = qsTr("This user does not exist")
            else if (message === "Username or password is incorrect")
                errorLine.text = qsTr("Username or password is incorrect")
            else
                errorLine.text = message
        }
    }

    Grid {
        id: form
        anchors.top: parent.top
        anchors.topMargin: 8
        anchors.horizontalCenter: parent.horizontalCenter
        columns: 2
        rowSpacing: 14
        columnSpacing: 12
        verticalItemAlignment: Grid.AlignVCenter
        Text {
            text: qsTr("Username:")
            color: "#333333"
            font.pixelSize: 14
        }
        DTLineEditNormal {
            id: userInput
            objectName: "loginUser"
            width: 240
            height: 34
            pixelSize: 14
            placeholderText: qsTr("username")
            onTextChanged: errorLine.text = ""
            onAccepted: root.submit()
        }
        Text {
            text: qsTr("Password:")
            color: "#333333"
            font.pixelSize: 14
        }
        DTLineEditNormal {
            id: passwordInput
            objectName: "loginPassword"
            width: 240
            height: 34
            pixelSize: 14
            placeholderText: qsTr("password")
            echoMode: TextInput.Password
            onTextChanged: errorLine.text = ""
            onAccepted: root.submit()
        }
    }

    Row {
        id: autoRow
        anchors.top: form.bottom
        anchors.topMargin: 12
        anchors.left: form.left
        spacing: 8
        DTNorButton {
            id: autoMark
            objectName: "loginAutoMark"
            width: 18
            height: 18
            radius: 4
            pixelSize: 13
            buttonColor: "white"
            pressedColor: "#eef3ff"
            textColor: "#3C7FFF"
            borderColor: "#a5adba"
            onClicked: {
                const on = btText !== "√"
                btText = on ? "√" : ""
                Controller.setAutoLogin(on)
            }
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Auto Login")
            color: "#333333"
            font.pixelSize: 13
        }
        Image {
            id: helpIcon
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/image/help.svg"
            sourceSize.width: 14
            sourceSize.height: 14
            MouseArea {
                id: helpMouse
                anchors.fill: parent
                hoverEnabled: true
            }
            ToolTip {
                visible: helpMouse.containsMouse
                text: qsTr("Allow to login automatically on this device.") + "\n"
                      + qsTr("You can turn off Auto Login by logging out your account and uncheck Auto Login option.")
            }
        }
    }

    Text {
        id: errorLine
        objectName: "loginError"
        anchors.top: autoRow.bottom
        anchors.topMargin: 10
        anchors.left: parent.left
        anchors.right: parent.right
        horizontalAlignment: Text.AlignHCenter
        color: "#ff5764"
        font.pixelSize: 13
        wrapMode: Text.Wrap
    }

    Row {
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 20
        DTNorButton {
            objectName: "loginButton"
            width: 130
            height: 36
            btText: qsTr("Login")
            onClicked: root.submit()
        }
        DTNorButton {
            objectName: "registerButton"
            width: 130
            height: 36
            btText: qsTr("Register")
            buttonColor: "white"
            pressedColor: "#f2f5fa"
            textColor: "#3C7FFF"
            borderColor: "#3C7FFF"
            onClicked: Controller.jumpUrl(Controller.getJumpUrl("url_register"))
        }
    }
}
