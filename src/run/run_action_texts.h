#pragma once

#include "platform/interfaces/run_action.h"

#include <QString>

namespace quenby {

// Everything the run says of one of its four actions, in one table.
struct RunActionTexts
{
    QString record;    // the button, for the run's record: "再起動 (restart)"
    QString status;    // the status line when the run reaches its end; none before a suspend
    QString countdown; // the pause's last word in the window: "あと 5 秒で" … "再起動します"
    QString machine;   // what the machine is made to do, for the pause's notice; none for run only
    QString failure;   // the first line of a refused power request's message
    QString notDone;   // the notice of a run asked for from outside that did not happen
};

const RunActionTexts &textsOf(RunAction action);

} // namespace quenby
