// Zelvane.exe's run under Wine against the minimal program making the same file calls, in one
// run: for each repetition, 2,000 small legacy profiles are laid out afresh twice; Zelvane.exe is
// started on one set and timed from the press of Run to the "Delete this tool?" question, and
// minimal_run times its loop over the other. Prints both medians and their ratio (target: at
// most 1.5). Runs under e2e/run-e2e, which gives it a display and a Wine prefix.
//
// Usage: wine_run_bench [--files N] [--reps N]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "e2e/zelvane_app.h"
#include "platform/system_win32.h"
#include "testing/files_win32.h"
#include "testing/process_win32.h"
#include "testing/sample_profiles.h"
#include "ui/main_window_ids.h"

using namespace zelvane::bench;
using namespace zelvane::e2e;
using namespace zelvane::samples;
using namespace std::chrono_literals;

namespace {

void Lay(Folder& folder, const std::vector<std::string>& profiles) {
  folder.MakeFolders(L"appfiles\\formats");
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    wchar_t name[40];
    std::swprintf(name, 40, L"appfiles\\formats\\profile %05zu.qdx", i);
    folder.Write(name, profiles[i]);
  }
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "wine_run_bench: %s\n", what);
  std::exit(1);
}

// Seconds from the press of Run to the question at the end of the run.
double TimeZelvane(const std::vector<std::string>& profiles) {
  Folder folder(L"zelvane-bench ");
  Lay(folder, profiles);
  folder.CopyIn(ZelvaneExe(), L"Zelvane.exe");
  ZelvaneProcess app(folder.Join(L"Zelvane.exe"), folder.Path());
  if (!app.WaitForWindow(60s)) Fail("the window did not appear");
  std::optional<MessageBoxView> box;
  const double seconds = SecondsOf([&] {
    app.Click(zelvane::main_window::kRunButtonId);
    box = app.WaitForMessageBox(300s);
  });
  if (!box || box->text != L"Delete this tool?") Fail("the run did not end with the question");
  if (folder.Read(L"appfiles\\formats\\profile 00000.qdx") != Upgraded(profiles[0])) Fail("a profile was not upgraded");
  app.Answer(IDNO);
  app.WaitForMessageBoxGone(30s);
  app.CloseWindow();
  if (!app.WaitForExit(30s)) Fail("Zelvane did not end");
  return seconds;
}

// Seconds the minimal program's loop took.
double TimeMinimal(const std::vector<std::string>& profiles) {
  Folder folder(L"zelvane-bench ");
  Lay(folder, profiles);
  const std::wstring result = folder.Join(L"result.txt");
  const std::filesystem::path minimalRun = std::filesystem::path(zelvane::ModulePath()).replace_filename(L"minimal_run.exe");
  const zelvane::testing::Process minimal({.commandLine = L"\"" + minimalRun.wstring() + L"\" \"" +
                                                         folder.Join(L"appfiles\\formats") + L"\" \"" + result + L"\""});
  const DWORD code = minimal.Wait(300s).value_or(1);
  const std::optional<std::string> text = folder.Read(L"result.txt");
  long long micros = 0, files = 0;
  if (code != 0 || !text || std::sscanf(text->c_str(), "%lld %lld", &micros, &files) != 2 ||
      files != static_cast<long long>(profiles.size()))
    Fail("minimal_run failed");
  return static_cast<double>(micros) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const auto files = static_cast<std::size_t>(Option(argc, argv, "--files", 2000));
  const int reps = std::max(1, static_cast<int>(Option(argc, argv, "--reps", 5)));
  std::vector<std::string> profiles;
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < files; ++i) {
    profiles.push_back(Encode(Legacy({.seed = "bench " + std::to_string(i), .arrays = i % 3 ? Arrays::None : Arrays::Rich})));
    bytes += profiles.back().size();
  }
  Timings run, floor;
  for (int rep = -1; rep < reps; ++rep) {  // rep -1 makes the prefix warm and is not counted
    const double z = TimeZelvane(profiles);
    const double m = TimeMinimal(profiles);
    if (rep >= 0) {
      run.seconds.push_back(z);
      floor.seconds.push_back(m);
    }
  }
  std::printf("Zelvane.exe under Wine over %zu legacy profiles of %zu bytes on average, median of %d\n", files,
              files ? bytes / files : 0, reps);
  std::printf("  floor  minimal_run.exe: list; open, size, read, close; open, write 3, close  %8.1f ms  %6.1f us/file\n",
              floor.Median() * 1e3, floor.Median() * 1e6 / static_cast<double>(files));
  std::printf("  run    Zelvane.exe: Run pressed to \"Delete this tool?\"                   %8.1f ms  %6.1f us/file  ratio %.2f\n",
              run.Median() * 1e3, run.Median() * 1e6 / static_cast<double>(files), run.Median() / floor.Median());
  return 0;
}
