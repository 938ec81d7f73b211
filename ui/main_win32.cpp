// Zelvane.exe: the removal helper when started as one, otherwise the window and its message loop.

#include <windows.h>

#include <commctrl.h>

#include <exception>

#include "platform/platform.h"
#include "ui/form1.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  try {
    if (zelvane::RunAsRemovalHelper()) return 0;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    zelvane::Form1 form1(instance);
    form1.Create();
    form1.Show(showCommand);

    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
      if (got == -1) return 1;
      if (!form1.PreTranslate(message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    return static_cast<int>(message.wParam);
  } catch (const std::exception& e) {
    zelvane::ShowFailure(nullptr, e.what());
    return 1;
  }
}
