// The demo's hands under a virtual display (tools/demo):
//   zelvane_demo_driver samples QUINDREL-FOLDER
//       writes a handful of sample profiles into the folder appfiles\formats in QUINDREL-FOLDER
//   zelvane_demo_driver drive QUINDREL-FOLDER SIGNAL-FOLDER
//       starts QUINDREL-FOLDER\Zelvane.exe with a log (QUINDREL-FOLDER\zelvane.log), presses Run,
//       acknowledges the report of damaged profiles, answers No to "Delete this tool?" and closes
//       the window. At three moments (the window just opened; the report on screen; the question
//       on screen) it writes SIGNAL-FOLDER\<moment>.ready holding "x y width height" of what to
//       photograph, and waits (a bounded time) for <moment>.done before going on.
// Paths may be Unix paths; they are taken as Wine's Z: drive.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "e2e/zelvane_app.h"
#include "testing/sample_profiles.h"
#include "ui/main_window_ids.h"

namespace zelvane::e2e {
namespace {

using namespace std::chrono_literals;
using namespace zelvane::samples;
using main_window::kRunButtonId;
using main_window::kStatusLabelId;

int Samples(const std::wstring& quindrel) {
  const auto folder = Folder::Existing(quindrel);
  folder->MakeFolders(L"appfiles\\formats");
  const struct {
    const wchar_t* name;
    std::string bytes;
  } samples[] = {
      {L"Invoice.qdx", Encode(Legacy({.seed = "Invoice", .arrays = Arrays::None}))},
      {L"Report layout.qdx", Encode(Legacy({.seed = "Report"}))},
      {L"Large export.qdx", Encode(Legacy({.seed = "Export", .arrays = Arrays::Large}))},
      {L"Blank tail.qdx", Encode(Legacy({"", "", "Blank", Arrays::None}))},
      {L"Already current.qdx", Encode(Current({.seed = "Current"}, "new in 2.0.12", 1))},
      {L"Damaged.qdx", Truncated(Encode(Legacy({.seed = "Damaged", .arrays = Arrays::None})))},
  };
  for (const auto& s : samples) folder->Write(std::wstring(L"appfiles\\formats\\") + s.name, s.bytes);
  return 0;
}

// Tells the script a moment has come and waits for it to have taken its picture.
bool Signal(const Folder& signals, const std::wstring& moment, const Rect& r) {
  const std::string where = std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.width) + " " +
                            std::to_string(r.height) + "\n";
  Folder::Existing(signals.Path())->Write(moment + L".ready", where);
  if (WaitUntil([&] { return signals.Exists(moment + L".done"); }, 60s)) return true;
  std::fprintf(stderr, "no answer to the signal %s\n", Narrow(moment).c_str());
  return false;
}

int Drive(const std::wstring& quindrel, const std::wstring& signalFolder) {
  const auto signals = Folder::Existing(signalFolder);
  ZelvaneProcess app(quindrel + L"\\Zelvane.exe", quindrel, L"/log:\"" + quindrel + L"\\zelvane.log\"");
  if (!app.WaitForWindow(60s)) {
    std::fprintf(stderr, "the Zelvane window did not appear\n");
    return 2;
  }
  Sleep(500);  // let it paint
  std::printf("window \"%s\", label:\n  %s\n", Narrow(app.Caption()).c_str(),
              Narrow(app.ControlText(kStatusLabelId)).c_str());
  if (!Signal(*signals, L"window", app.WindowScreenRect())) return 2;

  app.Click(kRunButtonId);
  auto box = app.WaitForMessageBox(120s);
  for (const wchar_t* moment : {L"report", L"question"}) {
    if (!box) {
      std::fprintf(stderr, "no message box appeared\n");
      return 2;
    }
    Sleep(500);
    std::printf("message box: %s\nlabel: %s\n", box->Describe().c_str(), Narrow(app.ControlText(kStatusLabelId)).c_str());
    const Rect window = app.WindowScreenRect(), b = box->screenRect;
    const int left = std::min(window.x, b.x), top = std::min(window.y, b.y);
    const Rect both{left, top, std::max(window.x + window.width, b.x + b.width) - left,
                    std::max(window.y + window.height, b.y + b.height) - top};
    if (!Signal(*signals, moment, both)) return 2;
    if (box->text == L"Delete this tool?") break;
    if (!app.Answer(IDOK) || !app.WaitForMessageBoxGone(30s)) return 2;
    box = app.WaitForMessageBox(30s);
  }
  if (box->text != L"Delete this tool?" || !app.Answer(IDNO) || !app.WaitForMessageBoxGone(30s)) {
    std::fprintf(stderr, "could not answer No\n");
    return 2;
  }
  std::printf("answered No; label: %s; Run %s\n", Narrow(app.ControlText(kStatusLabelId)).c_str(),
              app.ControlEnabled(kRunButtonId) ? "enabled" : "disabled");
  app.CloseWindow();
  const auto exit = app.WaitForExit(30s);
  if (!exit) {
    std::fprintf(stderr, "Zelvane did not end after its window was closed\n");
    return 2;
  }
  std::printf("Zelvane ended with exit code %lu\n", *exit);
  return 0;
}

}  // namespace
}  // namespace zelvane::e2e

int wmain(int argc, wchar_t** argv) {
  using namespace zelvane::e2e;
  using zelvane::Narrow;
  try {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"samples" && argc == 3) return Samples(WindowsPath(Narrow(argv[2])));
    if (mode == L"drive" && argc == 4) return Drive(WindowsPath(Narrow(argv[2])), WindowsPath(Narrow(argv[3])));
    std::fprintf(stderr, "usage: zelvane_demo_driver samples FOLDER | drive FOLDER SIGNAL-FOLDER\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
}
