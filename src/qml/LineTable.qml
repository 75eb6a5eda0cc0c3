import QtQuick 2.12
import QtQuick.Controls 2.2
import Qt.Controller 1.0

// One list of lines as a table: a header row and one row per record, with the cell rules of
// the line, today and favourite views. Rows report clicks; the owner decides what follows.
Item {
    id: root
    // The records (ProxyServerInfo) to show: one of the Controller's list models.
    property var model: null
    // Column keys in order: ProxyIP, Ping, Country, State, City, ZIP, ISP, BindType, BindTime,
    // BindPort, Available, Online, Remark.
    property var columns: []
    // The line list shows masked addresses except while the today page is current.
    property bool maskIp: false
    property alias currentIndex: list.currentIndex
    property alias view: list
    // The current row's IP: the row stays current wherever a refresh moves it.
    property string currentIp: ""

    signal rowClicked(int index, var record, int button, real x, real y)
    signal remarkClicked(int index, var record)

    function select(row) {
        list.currentIndex = row
        currentIp = row >= 0 && model ? model.keyAt(row) : ""
    }
    function clearSelection() {
        select(-1)
    }
    function restoreSelection() {
        list.currentIndex = model && currentIp !== "" ? model.indexOf(currentIp) : -1
    }
    // Another list has no current row.
    onModelChanged: clearSelection()
    Connections {
        target: root.model
        function onRowsInserted() { Qt.callLater(root.restoreSelection) }
        function onRowsRemoved() { Qt.callLater(root.restoreSelection) }
        function onRowsMoved() { Qt.callLater(root.restoreSelection) }
        function onModelReset() { Qt.callLater(root.restoreSelection) }
    }

    readonly property var titles: ({
        "ProxyIP": qsTr("ProxyIP"), "Ping": qsTr("Ping"), "Country": qsTr("Country"), "State": qsTr("State"),
        "City": qsTr("City"), "ZIP": qsTr("ZIP"), "ISP": qsTr("ISP"), "BindType": qsTr("BindType"),
        "BindTime": qsTr("BindTime"), "BindPort": qsTr("BindPort"), "Available": qsTr("Available"),
        "Online": qsTr("Online"), "Remark": qsTr("Remark")
    })
    readonly property var weights: ({
        "ProxyIP": 13, "Ping": 5, "Country": 11, "State": 10, "City": 10, "ZIP": 7, "ISP": 13, "BindType": 7,
        "BindTime": 9, "BindPort": 7, "Available": 7, "Online": 6, "Remark": 11
    })

    function columnWidth(key) {
        let total = 0
        for (let i = 0; i < columns.length; ++i)
            total += weights[columns[i]]
        return Math.floor((width - 24) * weights[key] / total)
    }
    function cellText(record, key) {
        if (!record)
            return ""
        switch (key) {
        case "ProxyIP": return maskIp ? record.qHideIp : record.qIp
        case "Ping": return record.qPing + "ms"
        case "Country": return record.qCountry
        case "State": return record.qState
        case "City": return record.qCity
        case "ZIP": return record.qZip
        case "ISP": return record.qIsp
        case "BindType": return record.qBindType
        case "BindTime":
            return record.qBindTime === 0 ? ""
                 : Qt.formatDateTime(new Date(record.qBindTime * 1000), "MM-dd HH:mm") + " "
        case "BindPort": return record.qBindPort !== 0 && !record.qIsExpired ? String(record.qBindPort) : ""
        case "Available": return record.qIsExpired ? "false" : "true"
        case "Online": return record.qOnLine ? "true" : "false"
        case "Remark": return record.qRemark
        }
        return ""
    }
    // Long ISP names and remarks show whole in a bubble.
    function needsBubble(record, key) {
        if (key === "ISP")
            return Controller.getStringLength(record.qIsp) > 12
        if (key === "Remark")
            return Controller.getStringLength(record.qRemark) > 3
        return false
    }

    Rectangle {
        anchors.fill: parent
        radius: 12
        color: "white"
    }

    Row {
        id: header
        x: 12
        y: 6
        height: 36
        Repeater {
            model: root.columns
            Text {
                width: root.columnWidth(modelData)
                height: header.height
                verticalAlignment: Text.AlignVCenter
                text: root.titles[modelData]
                color: "#55687D"
                font.pixelSize: 12
                font.bold: true
                elide: Text.ElideRight
            }
        }
    }
    Rectangle {
        anchors.top: header.bottom
        x: 12
        width: root.width - 24
        height: 1
        color: "#eef1f6"
    }

    ListView {
        id: list
        objectName: root.objectName + "_list"
        anchors.top: header.bottom
        anchors.topMargin: 2
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 6
        clip: true
        currentIndex: -1
        model: root.model
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        delegate: Rectangle {
            id: row
            objectName: root.objectName + "_row" + index
            // Asked of the model whenever the row changes; a role's copy could outlive the record.
            readonly property var record: model.qIp !== undefined ? root.model.get(index) : null
            readonly property int rowIndex: index
            readonly property bool lit: ListView.isCurrentItem || rowMouse.containsMouse
            width: list.width
            height: 34
            radius: 6
            color: lit ? "#3C7EFE" : (index % 2 === 0 ? "white" : "#FBFDFF")

            MouseArea {
                id: rowMouse
                anchors.fill: parent
                hoverEnabled: true
                acceptedButtons: Qt.LeftButton | Qt.RightButton
                onClicked: {
                    root.select(index)
                    const p = mapToItem(root, mouse.x, mouse.y)
                    root.rowClicked(index, row.record, mouse.button, p.x, p.y)
                }
            }
            Row {
                x: 6
                height: parent.height
                Repeater {
                    model: root.columns
                    Item {
                        width: root.columnWidth(modelData)
                        height: row.height
                        Text {
                            id: cell
                            anchors.left: parent.left
                            anchors.right: parent.right
                            anchors.rightMargin: modelData === "Remark" ? 22 : 6
                            anchors.verticalCenter: parent.verticalCenter
                            text: root.cellText(row.record, modelData)
                            color: row.lit ? "white" : "#333333"
                            font.pixelSize: 12
                            elide: Text.ElideRight
                        }
                        MouseArea {
                            id: cellMouse
                            anchors.fill: cell
                            hoverEnabled: true
                            acceptedButtons: Qt.NoButton
                        }
                        ToolTip {
                            visible: cellMouse.containsMouse && root.needsBubble(row.record, modelData)
                            text: root.cellText(row.record, modelData)
                            y: row.height
                        }
                        Image {
                            objectName: root.objectName + "_remarkEdit" + row.rowIndex
                            visible: modelData === "Remark"
                            anchors.right: parent.right
                            anchors.rightMargin: 4
                            anchors.verticalCenter: parent.verticalCenter
                            source: "qrc:/image/edit.svg"
                            sourceSize.width: 14
                            sourceSize.height: 14
                            MouseArea {
                                anchors.fill: parent
                                anchors.margins: -4
                                cursorShape: Qt.PointingHandCursor
                                onClicked: root.remarkClicked(row.rowIndex, row.record)
                            }
                        }
                    }
                }
            }
        }
    }
}
