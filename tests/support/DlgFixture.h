// A test fixture: a fresh working directory, a fake platform and a main window
// made the way the application makes it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/PianoDlg.h"
#include "support/FakePlatform.h"
#include "game/Game.h"

namespace clavora::test {

class DlgFixture : public ::testing::Test {
protected:
    // Makes the window (after files have been put in place) and marks it the main one.
    CPianoDlg& Make() {
        LoadBestRecords();
        dlg = std::make_unique<CPianoDlg>(platform);
        g_pMainDlg = dlg.get();
        return *dlg;
    }
    void TearDown() override {
        g_pMainDlg = nullptr;
        dlg.reset();
    }
    // Composes n frames, as the frame clock would ask for them.
    void Frames(int n) {
        for (int i = 0; i < n; ++i) dlg->OnTimer();
    }

    TempDir dir;
    FakePlatform platform;
    std::unique_ptr<CPianoDlg> dlg;
};

}  // namespace clavora::test
