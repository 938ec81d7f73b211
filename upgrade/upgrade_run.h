#pragma once
// The tool's one action: upgrade every profile in the formats folder, showing progress through
// a ProgressSink, keeping what became of each profile, then offer to remove the tool itself.

#include <chrono>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "upgrade/profile_upgrader.h"
#include "upgrade/run_report.h"

namespace zelvane {

// The window's side of a run.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void DisableRunButton() = 0;
  virtual std::string Caption() = 0;
  virtual void ShowWarning(const std::string& message, const std::string& title) = 0;
  virtual bool AskYesNo(const std::string& message, const std::string& title) = 0;  // true: Yes
  virtual void PumpEvents() = 0;
  // Asked after each profile: true ends the run before it touches another one.
  virtual bool StopRequested() = 0;
};

// How often a run lets the window paint and take input: about once a frame, and during a profile
// that takes longer than that, rather than once a profile.
struct RunPace {
  using Clock = std::chrono::steady_clock;
  Clock::duration interval = std::chrono::milliseconds(16);
  std::function<Clock::time_point()> now = Clock::now;
};

struct RunOptions {
  std::string quindrelFolder;               // the folder holding appfiles\formats; empty: the program's own
  UpgradeMode mode = UpgradeMode::Upgrade;  // a check opens nothing for writing and goes on past failures
  bool offerRemoval = true;                 // end by asking "Delete this tool?"
  RunPace pace;
  // Told once it is known where the run goes (the folder, every user's copies of it), before it
  // opens a profile; may throw PlatformError, and the run then ends there, having done nothing.
  std::function<void(const RunReport&)> begun = [](const RunReport&) {};
  // Told each entry of the report once it is settled, in the report's order: a profile once it
  // has been handled, the profiles a stopped run did not reach at its end. A report written as
  // the run goes takes its lines from here.
  std::function<void(const RunReport&, const ProfileReport&)> settled = [](const RunReport&, const ProfileReport&) {};
};

// The folder of the profiles: the Quindrel folder (the program's own when empty) followed by
// "\appfiles\formats\".
std::string FormatsFolder(Platform& platform, const std::string& quindrelFolder = {});

// Upgrades every profile of the formats folder, and then of every user's own copy of it that
// Windows keeps (when the run can reach them: FolderCopies), keeping what became of each. Before
// the first profile and whenever the pace says it is time (between profiles, or while one is read),
// the status text is set to the profile in hand and the sink pumps its events, so the label shows
// that profile whenever it is painted. A failure stops the run there (a check goes on past a
// profile's), and the profiles it did not reach are listed too; so does a listing of the folder
// that fails part-way, and a fresh listing then names the profiles not reached. After the last
// profile the status says "Done"; when profiles were left as they were because they are damaged, a
// warning names them, and another tells of users' copies that could not be reached and of a run
// whose changes Windows kept in this user's own copies; then, when offered, the tool's own
// executable is removed if the user agrees.
RunReport UpgradeRun(Platform& platform, ProgressSink& sink, const RunOptions& options = {});

}  // namespace zelvane
