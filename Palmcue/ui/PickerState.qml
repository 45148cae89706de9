// SPDX-License-Identifier: Apache-2.0
// The application picker's state, kept by the main view: whether it is open, for which
// finger, and the applications it lists.
import QtQml
import Palmcue.Ui

QtObject {
    required property AppListModel apps
    property bool shown: false
    property int finger: 0
}
