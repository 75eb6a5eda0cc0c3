import QtQuick 2.12
import QtTest 1.2
import "qrc:/"

Item {
    id: root
    width: 1200
    height: 763

    DTNorButton {
        id: button
        x: 10
        y: 10
        width: 100
        height: 30
        btText: "Go"
    }
    SignalSpy { id: clickSpy; target: button; signalName: "clicked" }
    SignalSpy { id: enterSpy; target: button; signalName: "mentered" }

    DTCombox3 {
        id: combo
        objectName: "combo"
        x: 10
        y: 60
        model: ["Austin", "Boston", "Chicago"]
    }

    Component { id: tipsComponent; Tips { message: "hello" } }
    Component { id: tipsBuyComponent; TipsBuy {} }
    Component { id: loginComponent; Login {} }

    TestCase {
        name: "Controls"
        when: windowShown

        function test_disabledButtonIgnoresClicks() {
            clickSpy.clear()
            button.enabled = true
            mouseClick(button)
            compare(clickSpy.count, 1)
            button.enabled = false
            const before = button.color
            mouseMove(button, 5, 5)
            verify(enterSpy.count > 0)
            mouseClick(button)
            compare(clickSpy.count, 1)
            button.enabled = true
        }

        function test_pickEmitsSelectedBeforeTheText() {
            let order = []
            const onSelected = function (text) { order.push("selected:" + text + ":" + combo.currentText) }
            const onText = function (text) { order.push("text:" + text) }
            combo.selected.connect(onSelected)
            combo.comboxTextChanged.connect(onText)
            combo.popup.open()
            tryVerify(function () { return combo.popup.opened })
            const entry = findChild(combo.popup.contentItem, "combo_entry1")
            verify(entry)
            mouseClick(entry)
            compare(order, ["selected:Boston:", "text:Boston"])
            compare(combo.comboxIndex, 1)
            verify(!combo.popup.visible)
            combo.selected.disconnect(onSelected)
            combo.comboxTextChanged.disconnect(onText)
        }

        function test_typingEmitsEveryChange() {
            let texts = []
            const onText = function (text) { texts.push(text) }
            combo.currentText = ""
            combo.comboxTextChanged.connect(onText)
            mouseClick(combo, 20, combo.height / 2)
            keyClick(Qt.Key_N)
            keyClick(Qt.Key_Y)
            compare(texts, ["n", "ny"])
            combo.comboxTextChanged.disconnect(onText)
        }

        function test_escapeClosesEachDialog_data() {
            return [{ tag: "Tips", component: tipsComponent }, { tag: "TipsBuy", component: tipsBuyComponent },
                    { tag: "Login", component: loginComponent }]
        }
        function test_escapeClosesEachDialog(data) {
            const dialog = createTemporaryObject(data.component, root)
            verify(dialog)
            const spy = createTemporaryQmlObject('import QtTest 1.2; SignalSpy { signalName: "closeRequested" }', root)
            spy.target = dialog
            dialog.forceActiveFocus()
            keyClick(Qt.Key_Escape)
            compare(spy.count, 1)
        }
    }
}
