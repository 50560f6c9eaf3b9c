#include "app/PianoApp.h"

#include <ctime>

#include "app/PianoDlg.h"
#include "game/Game.h"

namespace clavora {

CPianoApp theApp;

int CPianoApp::InitInstance(Platform& platform) {
    // The time zone is read now, so that stamping a kept game later allocates nothing.
    tzset();
    LoadBestRecords();
    {
        CPianoDlg dlg(platform);
        g_pMainDlg = &dlg;
        dlg.DoModal();
        // The window has saved its songs; the records follow them to disk.
        SaveBestRecords();
        g_pMainDlg = nullptr;
    }
    return 0;
}

}  // namespace clavora
