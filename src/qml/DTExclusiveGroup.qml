import QtQuick.Controls 1.4

// Makes the DTExclusiveButtons that name it mutually exclusive.
ExclusiveGroup {
}
