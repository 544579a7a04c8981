#pragma once

class QLabel;
class QString;

namespace quenby {

class MainWindowView;

// Gives every control of the main window a name a screen reader can speak:
// the pictures get one, the buttons theirs without the access key (which is
// announced apart), the status line "状態" while it is empty.
void nameMainWindowControls(MainWindowView &view);

// Shows a new status text. The status line's name is its text, so a screen
// reader hears of the change.
void showStatus(QLabel *statusLine, const QString &text);

} // namespace quenby
