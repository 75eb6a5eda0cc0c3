import QtQuick 2.12

// Soft shadow around a rounded panel, drawn as rings of fading alpha: a Gaussian fall-off
// (sigma 5 px, 25% black at the edge) with plain items, no shader effects.
Item {
    id: shadow
    property Item target: null
    property real panelRadius: 12
    property int spread: 10
    property real edgeAlpha: 0.25
    property real sigma: 5

    anchors.fill: target

    Repeater {
        model: shadow.spread
        Rectangle {
            readonly property real distance: index + 0.5
            anchors.fill: parent
            anchors.margins: -(index + 1)
            radius: shadow.panelRadius + index + 1
            color: "transparent"
            border.width: 1
            // Half the edge alpha times the complementary error function of the distance.
            border.color: Qt.rgba(0, 0, 0, shadow.edgeAlpha * 0.5 * erfc(distance / (shadow.sigma * Math.SQRT2)))
            antialiasing: true

            function erfc(x) {
                // Abramowitz and Stegun 7.1.26, good to 1.5e-7.
                const t = 1 / (1 + 0.3275911 * x)
                const poly = t * (0.254829592 + t * (-0.284496736 + t * (1.421413741
                             + t * (-1.453152027 + t * 1.061405429))))
                return poly * Math.exp(-x * x)
            }
        }
    }
}
