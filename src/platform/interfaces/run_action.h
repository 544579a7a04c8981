#pragma once

namespace quenby {

// The four runs of the main window's action buttons. One value is carried
// from the press, the command line or a later start to the power request at
// the end of the run.
enum class RunAction { ShutDown, Restart, Suspend, RunOnly };

} // namespace quenby
