#pragma once

#include <QStringList>

namespace quenby::test {

// One log shared by every fake, so a test can assert the order of calls across
// services: "get:Form1Top", "save:Form1Top=0", "beep", "msg:<text>",
// "start:<request>", "watch:<pid>", "power:PowerOff", "sleep", "end",
// "journal:<line>", "notify:<summary>", "withdraw:<number>", "answer:<number>",
// "settle".
using CallLog = QStringList;

} // namespace quenby::test
