#pragma once

namespace quenby {

// The four runs of the main window's action buttons. One value is carried
// from the press of a button, the command line or a later start of the
// program to the power request at the end of the run. A start that asks for
// no run (only the running copy's window) carries none: std::optional.
enum class RunAction { ShutDown, Restart, Suspend, RunOnly };

} // namespace quenby
