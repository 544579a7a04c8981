#pragma once

namespace quenby {

// Top-level windows tell assistive technology what they are: the main window
// is a frame, the settings window and the messages are dialogs. Left to Qt,
// the two plain windows would be reported as "filler". Costs nothing until
// assistive technology asks.
void giveWindowsTheirRoles();

} // namespace quenby
