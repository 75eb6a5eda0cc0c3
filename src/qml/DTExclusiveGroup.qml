import QtQml 2.12

// Makes the DTExclusiveButtons that name it mutually exclusive: checking one unchecks the rest.
QtObject {
    id: group
    // The checked member, or null before any is checked.
    property QtObject current: null
    property var members: []

    function bindCheckable(button) {
        if (members.indexOf(button) >= 0)
            return
        members.push(button)
        button.checkedChanged.connect(function () {
            if (button.checked)
                group.current = button
            else if (group.current === button)
                group.current = null
        })
        if (button.checked)
            current = button
    }

    onCurrentChanged: {
        for (var i = 0; i < members.length; ++i) {
            if (members[i] && members[i] !== current)
                members[i].checked = false
        }
    }
}
