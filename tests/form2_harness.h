#pragma once

#include "fakes/fake_platform.h"
#include "main_window/form1.h"
#include "settings/form2.h"
#include "settings/run_config.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace quenby::test {

// A main window on the recording fakes, with the settings window opened from
// its settings button as the user would. The store starts with what a test
// puts in `platform.store.values` before `open()`.
struct SettingsHarness
{
    SettingsHarness() { RunConfig = RunConfigRecord{}; }
    explicit SettingsHarness(Store &store)
        : services{store, platform.desktop, platform.processes, platform.power, platform.clock, platform.journal,
                   platform.progress, platform.notifications}
    {
        RunConfig = RunConfigRecord{};
    }

    // Loads the main window (reading RunConfig from the store) and opens the
    // settings window. The log and the store's read/write lists start afresh.
    Form2 *open()
    {
        if (!form1) {
            form1 = std::make_unique<Form1>(services);
            form1->Form_Load();
        }
        clearRecords();
        form1->setting_Click();
        return form1->settingsWindow();
    }

    void clearRecords()
    {
        platform.log.clear();
        platform.store.reads.clear();
        platform.store.writes.clear();
    }

    // Closing deletes the window once the event loop runs.
    bool settingsGone() { return QTest::qWaitFor([this] { return form1->settingsWindow() == nullptr; }); }

    FakePlatform platform;
    Services services = platform.services();
    std::unique_ptr<Form1> form1;
};

inline void tick(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
}

} // namespace quenby::test
