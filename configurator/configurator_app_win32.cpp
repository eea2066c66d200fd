// Entry of Configurator.exe: common controls, then the main dialog; the
// program ends when the dialog does.
#include <windows.h>

#include <commctrl.h>

#include "configurator/configurator_dlg_win32.h"
#include "configurator/configurator_settings.h"

class CConfiguratorApp {
 public:
  // False: there is no message loop after the dialog, the program ends.
  BOOL InitInstance();
};

BOOL CConfiguratorApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  // Restart support only: after a restart by the Restart Manager the program
  // comes back as it started.
  RegisterApplicationRestart(nullptr, 0);

  CConfiguratorDlg dialog(qv::TheConfiguratorSettings());
  dialog.DoModal();
  return FALSE;
}

namespace {
CConfiguratorApp theApp;
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  theApp.InitInstance();
  return 0;
}
