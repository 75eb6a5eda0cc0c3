import QtQuick 2.12
import QtQuick.Controls 2.2

// The pricing page: personal and enterprise plans from the window's price table.
Item {
    id: root
    objectName: "pricingPage"
    // Four rows of nine texts: IP counts, current prices, previous prices, unit prices.
    property var prices: [[], [], [], []]
    property bool enterprise: false

    function cell(row, column) {
        const r = prices[row]
        return r && column < r.length ? r[column] : "---"
    }

    Column {
        id: heading
        anchors.top: parent.top
        anchors.topMargin: 24
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 8
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Please Select A Suitable Plan")
            color: "#333333"
            font.pixelSize: 24
            font.bold: true
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Easy to use client and large S5 IP pool facilitate your business.")
            color: "#55687D"
            font.pixelSize: 14
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 26
            Repeater {
                model: [qsTr("190+ countries and regions"), qsTr("ZIP code filtering"), qsTr("Desktop software"),
                    qsTr("Historical version download")]
                Row {
                    spacing: 6
                    Image {
                        anchors.verticalCenter: parent.verticalCenter
                        source: "qrc:/image/tick.svg"
                        sourceSize.width: 14
                        sourceSize.height: 14
                    }
                    Text {
                        text: modelData
                        color: "#333333"
                        font.pixelSize: 13
                    }
                }
            }
        }
    }

    Rectangle {
        id: switcher
        anchors.top: heading.bottom
        anchors.topMargin: 18
        anchors.horizontalCenter: parent.horizontalCenter
        width: 240
        height: 36
        radius: 18
        color: "#e9eef6"
        Row {
            anchors.fill: parent
            anchors.margins: 3
            Repeater {
                model: [qsTr("Personal"), qsTr("Enterprise")]
                Rectangle {
                    objectName: index === 0 ? "pricingPersonal" : "pricingEnterprise"
                    width: 117
                    height: 30
                    radius: 15
                    color: (index === 1) === root.enterprise ? "#3C7FFF" : "transparent"
                    Text {
                        anchors.centerIn: parent
                        text: modelData
                        color: (index === 1) === root.enterprise ? "white" : "#55687D"
                        font.pixelSize: 14
                    }
                    MouseArea {
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: root.enterprise = index === 1
                    }
                }
            }
        }
    }

    Row {
        anchors.top: switcher.bottom
        anchors.topMargin: 22
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 12
        PriceItem {
            objectName: "priceCard0"
            ipNumText: root.enterprise ? "" : qsTr("PAY AS YOU GO")
            ipNumTextSize: root.enterprise ? 22 : 18
            ipNums: root.enterprise ? root.cell(0, 4) : ""
            currentPrice: root.enterprise ? root.cell(1, 4) : "4/10IPs"
            beforePrice: root.enterprise ? root.cell(2, 4) : "4/10IPs"
            unitPrice: root.enterprise ? root.cell(3, 4) : "0.40"
        }
        Repeater {
            model: 4
            PriceItem {
                objectName: "priceCard" + (index + 1)
                readonly property int column: root.enterprise ? index + 5 : index
                ipNums: root.cell(0, column)
                currentPrice: root.cell(1, column)
                beforePrice: root.cell(2, column)
                unitPrice: root.cell(3, column)
            }
        }
    }
}
