import QtQuick 2.12
import Qt.Controller 1.0

// The filters above the list pages: country, state, city and ISP with type-ahead, postal code,
// an IP range, the bind type on the today page, and on the API page the link parameters.
FocusScope {
    id: root
    objectName: "searchBar"
    property bool apiMode: false
    property bool todayPage: false
    property var countryModel: []
    property var stateModel: []
    property var cityModel: []
    property var ispModel: []

    readonly property string countryName: country.currentText
    readonly property string stateName: state.currentText
    readonly property string cityName: city.currentText
    readonly property string zipNum: zip.text
    readonly property string isp: ispBox.currentText
    readonly property string bindType: bindTypeBox.currentText
    readonly property string startIp: startIpField.text
    readonly property string endIp: endIpField.text
    readonly property string startPort: startPortField.text
    readonly property string num: numField.text
    readonly property string dataType: dataTypeBox.currentText
    // An IP field holds text that is not an address.
    readonly property bool ipInvalid: !validIp(startIp) || !validIp(endIp)

    signal searchClicked()
    signal clearClicked()
    // Start port, count or data type changed on the API page.
    signal apiParamsChanged()

    function validIp(text) {
        return text.length === 0
               || /^((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])\.){3}(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])$/.test(text)
    }
    // Clears every filter and closes the suggestion lists.
    function clear() {
        for (const box of [country, state, city, ispBox, bindTypeBox]) {
            box.ignoreNext = true
            box.currentText = ""
            box.ignoreNext = false
            box.popup.close()
        }
        zip.text = ""
        startIpField.text = ""
        endIpField.text = ""
    }
    function resetAreaModels() {
        country.model = countryModel
        state.model = stateModel
        city.model = cityModel
    }
    onCountryModelChanged: country.model = countryModel
    onStateModelChanged: state.model = stateModel
    onCityModelChanged: city.model = cityModel
    onIspModelChanged: ispBox.model = ispModel

    height: apiMode ? 104 : 56
    Keys.onReturnPressed: if (!apiMode) searchClicked()
    Keys.onEnterPressed: if (!apiMode) searchClicked()

    // A suggestion box whose next text change is skipped after a pick from its list.
    component SuggestBox: DTCombox3 {
        property bool ignoreNext: false
        width: 120
        height: 32
        textSize: 13
        popupHeight: 240
        onSelected: ignoreNext = true
    }

    Row {
        id: firstRow
        x: 12
        y: 12
        spacing: 8
        SuggestBox {
            id: country
            objectName: "searchCountry"
            width: 150
            placeholderText: qsTr("Country/Region")
            textCapitalization: Font.AllUppercase
            onComboxTextChanged: {
                if (ignoreNext) {
                    ignoreNext = false
                    return
                }
                model = Controller.searchCountryNameList(text)
                state.model = Controller.getStateNameList(text)
                city.model = Controller.getCityNameList(text, "")
                popup.open()
            }
            onSelected: {
                state.model = Controller.getStateNameList(text)
                city.model = Controller.getCityNameList(text, "")
                for (const box of [state, city]) {
                    box.ignoreNext = true
                    box.currentText = ""
                    box.ignoreNext = false
                    box.popup.close()
                }
            }
        }
        SuggestBox {
            id: state
            objectName: "searchState"
            width: 120
            placeholderText: qsTr("State")
            onComboxTextChanged: {
                if (ignoreNext) {
                    ignoreNext = false
                    return
                }
                model = Controller.searchStateNameList(country.currentText, text)
                city.model = Controller.getCityNameList(country.currentText, text)
                popup.open()
            }
            onSelected: {
                city.model = Controller.getCityNameList(country.currentText, text)
                city.ignoreNext = true
                city.currentText = ""
                city.ignoreNext = false
                city.popup.close()
            }
        }
        SuggestBox {
            id: city
            objectName: "searchCity"
            width: 120
            placeholderText: qsTr("City")
            onComboxTextChanged: {
                if (ignoreNext) {
                    ignoreNext = false
                    return
                }
                model = Controller.searchCityNameList(country.currentText, state.currentText, text)
                popup.open()
            }
        }
        Item {
            width: 130
            height: 32
            SuggestBox {
                id: ispBox
                objectName: "searchIsp"
                anchors.fill: parent
                visible: !root.todayPage
                placeholderText: qsTr("ISP")
                onComboxTextChanged: {
                    if (ignoreNext) {
                        ignoreNext = false
                        return
                    }
                    model = Controller.searchAsn(text)
                    popup.open()
                }
            }
            SuggestBox {
                id: bindTypeBox
                objectName: "searchBindType"
                anchors.fill: parent
                visible: root.todayPage
                placeholderText: qsTr("Bind Type")
                popupHeight: 80
                model: ["Manual", "API"]
                onComboxTextChanged: {
                    if (ignoreNext) {
                        ignoreNext = false
                        return
                    }
                    model = Controller.searchBindType(text)
                    popup.open()
                }
            }
        }
        DTLineEditNormal {
            id: zip
            objectName: "searchZip"
            width: 86
            height: 32
            pixelSize: 13
            placeholderText: qsTr("Zip code")
            nextField: startIpField
            onAccepted: if (!root.apiMode) root.searchClicked()
        }
        // Keeps the place of the IP range, which the API page moves to a second line.
        Item {
            id: ipSlot
            visible: !root.apiMode
            width: ipFields.width
            height: 32
        }
        DTNorButton {
            objectName: "searchButton"
            visible: !root.apiMode
            width: 72
            height: 32
            pixelSize: 13
            btText: qsTr("Search")
            onClicked: root.searchClicked()
        }
        DTNorButton {
            objectName: "clearButton"
            visible: root.todayPage && !root.apiMode
            width: 64
            height: 32
            pixelSize: 13
            btText: qsTr("Clear")
            buttonColor: "white"
            pressedColor: "#f2f5fa"
            textColor: "#3C7FFF"
            borderColor: "#3C7FFF"
            onClicked: root.clearClicked()
        }
        DTLineEditNormal {
            id: startPortField
            objectName: "searchStartPort"
            visible: root.apiMode
            width: 100
            height: 32
            pixelSize: 13
            placeholderText: qsTr("Start Port")
            text: Controller.getStartPort() + 5000 > 65535 ? "1000" : String(Controller.getStartPort() + 5000)
            validator: IntValidator { bottom: 0; top: 65535 }
            nextField: numField
            onTextChanged: if (root.apiMode) Qt.callLater(root.apiParamsChanged)
        }
        DTLineEditNormal {
            id: numField
            objectName: "searchNum"
            visible: root.apiMode
            width: 70
            height: 32
            pixelSize: 13
            placeholderText: qsTr("Num")
            text: "1"
            validator: IntValidator { bottom: 0; top: 100 }
            nextField: dataTypeBox
            onTextChanged: if (root.apiMode) Qt.callLater(root.apiParamsChanged)
        }
        DTCombox3 {
            id: dataTypeBox
            objectName: "searchDataType"
            visible: root.apiMode
            width: 90
            height: 32
            textSize: 13
            editEnbale: false
            placeholderText: qsTr("DataType")
            popupHeight: 80
            model: ["txt", "json"]
            currentText: "txt"
            onComboxTextChanged: if (root.apiMode) Qt.callLater(root.apiParamsChanged)
        }
    }
    Row {
        id: ipFields
        spacing: 8
        x: root.apiMode ? 12 : firstRow.x + ipSlot.x
        y: root.apiMode ? 60 : 12
        DTLineEditNormal {
            id: startIpField
            objectName: "searchStartIp"
            width: 110
            height: 32
            pixelSize: 13
            placeholderText: qsTr("Start IP")
            color: root.validIp(text) ? "#333333" : "#ff5764"
            nextField: endIpField
            onAccepted: if (!root.apiMode) root.searchClicked()
        }
        DTLineEditNormal {
            id: endIpField
            objectName: "searchEndIp"
            width: 110
            height: 32
            pixelSize: 13
            placeholderText: qsTr("End IP")
            color: root.validIp(text) ? "#333333" : "#ff5764"
            onAccepted: if (!root.apiMode) root.searchClicked()
        }
    }
}
