#pragma once

#include "app/frmCopyRoutine.h"
#include "settings/Module1.h"
#include "support/FakeDialogs.h"
#include "support/FakeProcessTable.h"
#include "support/TestHost.h"

#include <memory>

namespace tarsel::test {

// The window with fake dialogs and processes, a settings store of its own (and no presets from the
// machine's), and an "end the program" that only counts.
class WindowFixture {
public:
    FakeDialogs dialogs;
    FakeProcessTable processes;
    int ended = 0;

    static void store(const QString& valueName, const QString& text) {
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, valueName, text);
    }
    static QString stored(const QString& valueName) {
        return RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, valueName).value_or(QString());
    }

    // Creates the window and runs its start-up, as the program does.
    frmCopyRoutine& open() {
        window_ = std::make_unique<frmCopyRoutine>(dialogs, processes);
        window_->onEndProgram = [this] { ++ended; };
        window_->Form_Load();
        return *window_;
    }

private:
    IsolatedSettings settings_;
    std::unique_ptr<frmCopyRoutine> window_;
};

} // namespace tarsel::test
