#pragma once
// The tool's one action: upgrade every profile in the formats folder, showing progress through
// a ProgressSink, then offer to remove the tool itself.

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

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

enum class RunEnd : std::uint8_t {
  NoFiles,          // nothing to upgrade; the warning was shown and the button stays enabled
  Stopped,          // the sink asked the run to stop, after the profile in hand
  Kept,             // finished; the user kept the tool
  RemovalArranged,  // finished; the tool's executable goes once the program has ended
};

// A failure that ended a run: which profile, what was being done, and the system's reason.
class UpgradeFailure : public std::runtime_error {
 public:
  UpgradeFailure(const std::string& fileName, const std::string& cause);
};

// The folder of the profiles: the program folder followed by "\appfiles\formats\".
std::string FormatsFolder(Platform& platform);

// Upgrades every profile of the formats folder. Before the first profile and whenever `pace` says
// it is time (between profiles, or while one is read), the status text is set to the profile in
// hand and the sink pumps its events, so the label shows that profile whenever it is painted.
RunEnd UpgradeRun(Platform& platform, ProgressSink& sink, const RunPace& pace = {});

}  // namespace zelvane
