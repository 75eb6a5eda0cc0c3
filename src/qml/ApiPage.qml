import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0

// The bulk-binding link: generated from the search bar's filters, copied for other programs,
// with a legend and worked examples.
Item {
    id: root
    objectName: "apiPage"
    property string ipPort: ""
    property alias link: linkField.text

    signal generateClicked()
    signal copyClicked()

    // The same shape createApiLink gives, for the examples.
    function example(num, country, state, city, zip, port) {
        const enc = encodeURIComponent
        return "http://" + ipPort + "/ip/numerous_bind?num=" + num + "&country=" + enc(country) + "&state="
               + enc(state) + "&city=" + enc(city) + "&isp=random&zip=" + enc(zip) + "&t=txt&port=" + port
               + "&startip=&endip=&key=" + Controller.getApiLinkKey()
    }
    function showStart() {
        linkField.cursorPosition = 0
        linkField.ensureVisible(0)
    }

    Rectangle {
        anchors.fill: parent
        anchors.margins: 12
        anchors.topMargin: 4
        radius: 12
        color: "white"

        Column {
            id: top
            x: 20
            y: 16
            width: parent.width - 40
            spacing: 10
            Row {
                spacing: 10
                Rectangle {
                    width: 640
                    height: 34
                    radius: 8
                    color: "#f6f8fb"
                    border.color: "#dfe3ea"
                    TextInput {
                        id: linkField
                        objectName: "apiLink"
                        anchors.fill: parent
                        anchors.leftMargin: 10
                        anchors.rightMargin: 10
                        verticalAlignment: TextInput.AlignVCenter
                        readOnly: true
                        selectByMouse: true
                        clip: true
                        color: "#333333"
                        font.pixelSize: 12
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            visible: linkField.text.length === 0
                            text: qsTr("Link")
                            color: "#a5adba"
                            font.pixelSize: 12
                        }
                    }
                }
                DTNorButton {
                    objectName: "apiGenerate"
                    width: 96
                    height: 34
                    pixelSize: 13
                    btText: qsTr("Generate")
                    onClicked: root.generateClicked()
                }
                DTNorButton {
                    objectName: "apiCopy"
                    width: 80
                    height: 34
                    pixelSize: 13
                    btText: qsTr("Copy")
                    buttonColor: "white"
                    pressedColor: "#f2f5fa"
                    textColor: "#3C7FFF"
                    borderColor: "#3C7FFF"
                    onClicked: root.copyClicked()
                }
            }
            Text {
                text: qsTr("In API mode, the IP cost will be deducted from balance when the proxy is generated.")
                color: "#ff5764"
                font.pixelSize: 12
            }
            Row {
                spacing: 18
                Text {
                    text: qsTr("Parameter :")
                    color: "#333333"
                    font.pixelSize: 13
                    font.bold: true
                }
                Repeater {
                    model: [["num:", "<=99"], ["country:", ""], ["state:", ""], ["city:", ""],
                        ["port:", qsTr("start port")], ["t:", "1=txt/2=json"]]
                    Text {
                        text: modelData[0] + (modelData[1].length ? " " + modelData[1] : "")
                        color: "#55687D"
                        font.pixelSize: 12
                    }
                }
                DTNorButton {
                    objectName: "apiGuide"
                    width: 96
                    height: 26
                    pixelSize: 12
                    btText: qsTr("API Guide")
                    onClicked: Controller.jumpUrl(Controller.getJumpUrl("url_guide_api"))
                }
            }
        }

        ListView {
            id: examples
            objectName: "apiExamples"
            anchors.top: top.bottom
            anchors.topMargin: 14
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.leftMargin: 20
            anchors.rightMargin: 20
            anchors.bottomMargin: 20
            clip: true
            spacing: 8
            ScrollBar.vertical: ScrollBar {}
            model: [
                { "caption": qsTr("Get one proxy from a random country:"),
                    "url": root.example(1, "random", "random", "random", "random", 30000) },
                { "caption": qsTr("Get one proxy from the United States:"),
                    "url": root.example(1, "US", "random", "random", "random", 30000) },
                { "caption": qsTr("Get one proxy from New York City, New York, United States:"),
                    "url": root.example(1, "US", "New York", "New York", "random", 30000) },
                { "caption": qsTr("Get one proxy by postal code:"),
                    "url": root.example(1, "US", "random", "random", "10001", 30000) },
                { "caption": qsTr("Get 50 random proxies:"),
                    "url": root.example(50, "random", "random", "random", "random", 30000) },
                { "caption": qsTr("Get 100 random proxies from port 50000:"),
                    "url": root.example(100, "random", "random", "random", "random", 50000) }
            ]
            delegate: Column {
                objectName: "apiExample" + index
                width: examples.width - 12
                spacing: 4
                readonly property string url: modelData.url
                Text {
                    text: (index + 1) + ". " + modelData.caption
                    color: "#333333"
                    font.pixelSize: 13
                }
                TextEdit {
                    width: parent.width
                    text: modelData.url
                    readOnly: true
                    selectByMouse: true
                    wrapMode: TextEdit.WrapAnywhere
                    color: "#3C7FFF"
                    font.pixelSize: 12
                }
            }
        }
    }
}
