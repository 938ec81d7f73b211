#pragma once
// The tool's one window: a label that explains the tool and then shows progress, and a button that
// runs the upgrade. The window is the run's ProgressSink; what the command line asks for (another
// Quindrel folder, a log) applies to its runs.

#include <windows.h>

#include <string>

#include "ui/main_window_ids.h"
#include "upgrade/command_line.h"
#include "upgrade/command_line_checks.h"
#include "upgrade/report_writer.h"
#include "upgrade/upgrade_run.h"

namespace zelvane {

class MainWindow final : public ProgressSink {
 public:
  // Runs write their reports through `writer`, which must outlive the window.
  MainWindow(HINSTANCE instance, CommandLine line, ReportWriter& writer);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow() override;

  // Registers the window class, creates the window and its controls at the monitor's scale and
  // runs OnCreate; the window stays hidden. Throws std::runtime_error when the system refuses.
  void Create();
  void Show(int showCommand);

  // For the message loop: Tab, Enter and Space on the window's controls. True when handled.
  bool PreTranslate(MSG& message);

  // The exit code of the window's last run (0 when there was none): what the program ends with.
  int ExitCode() const { return exitCode_; }

  // ProgressSink
  void SetStatusText(const std::string& text) override;
  void DisableRunButton() override;
  std::string Caption() override;
  void ShowWarning(const std::string& message, const std::string& title) override;
  bool AskYesNo(const std::string& message, const std::string& title) override;
  void PumpEvents() override;
  bool StopRequested() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnCreate();
  void OnRunClicked();
  void Close();
  void ApplyDpi(UINT dpi, bool resizeWindow);
  void RestoreFocus();

  HINSTANCE instance_;
  CommandLine line_;
  ReportWriter& writer_;
  HWND hwnd_ = nullptr;
  HWND runButton_ = nullptr;
  HWND statusLabel_ = nullptr;
  HWND lastFocus_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  int defaultId_ = main_window::kRunButtonId;
  bool running_ = false;         // inside OnRunClicked
  bool stopRequested_ = false;   // the window was closed, or the program told to quit, during a run
  bool closeAfterRun_ = false;
  int exitCode_ = 0;             // posted with WM_QUIT: the message loop returns it
};

// A failure that ends the program, in a modal box owned by `owner` while that window exists.
void ShowFailure(HWND owner, const std::string& text) noexcept;

}  // namespace zelvane
