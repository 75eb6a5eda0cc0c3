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

    DTExclusiveGroup { id: tabs }
    Row {
        y: 120
        DTExclusiveButton { id: tabA; exclusiveGroup: tabs; checked: true; text: "A" }
        DTExclusiveButton { id: tabB; exclusiveGroup: tabs; text: "B" }
        DTExclusiveButton { id: tabC; exclusiveGroup: tabs; text: "C"; checkable: false }
    }
    SignalSpy { id: currentSpy; target: tabs; signalName: "currentChanged" }

    Rectangle {
        id: canvas
        x: 400
        y: 200
        width: 240
        height: 140
        color: "white"
        Rectangle {
            id: shadowed
            x: 20
            y: 20
            width: 200
            height: 100
            radius: 12
            color: "#f2f5fa"
        }
        WindowShadow { id: shadow; target: shadowed; panelRadius: 12 }
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

        function test_tabsAreExclusive() {
            compare(tabs.current, tabA)
            currentSpy.clear()
            mouseClick(tabB)
            verify(tabB.checked)
            verify(!tabA.checked)
            compare(tabs.current, tabB)
            compare(currentSpy.count, 1)
            // A button that is not checkable leaves the choice alone.
            mouseClick(tabC)
            verify(!tabC.checked)
            compare(tabs.current, tabB)
            // Checking from code moves the choice as a click does.
            tabA.checked = true
            verify(!tabB.checked)
            compare(tabs.current, tabA)
            tabA.checked = false
            compare(tabs.current, null)
            tabA.checked = true
        }

        function test_shadowFadesOutward() {
            // Ring alphas: about half the edge alpha next to the panel, falling outward, near zero
            // at the spread's end.
            let alphas = []
            for (let i = 0; i < shadow.children.length; ++i) {
                const ring = shadow.children[i]
                if (ring.border !== undefined)
                    alphas.push(ring.border.color.a)
            }
            compare(alphas.length, shadow.spread)
            fuzzyCompare(alphas[0], 0.25 * 0.5 * 0.92, 0.01)
            for (let i = 1; i < alphas.length; ++i)
                verify(alphas[i] < alphas[i - 1], "ring " + i + ": " + alphas)
            verify(alphas[alphas.length - 1] < 0.01, alphas)
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
