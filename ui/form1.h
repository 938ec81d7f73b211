#pragma once
// The tool's one window: a label that explains the tool and then shows progress, and a button that
// runs the upgrade. The window is the run's ProgressSink.

#include <windows.h>

#include <string>

#include "upgrade/upgrade_run.h"

namespace zelvane {

class Form1 final : public ProgressSink {
 public:
  static constexpr int kLabel1Id = 1001;
  static constexpr int kCommand1Id = 1002;

  explicit Form1(HINSTANCE instance);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1() override;

  // Registers the window class, creates the window and its controls at the monitor's scale and
  // runs Form_Load; the window stays hidden. Throws std::runtime_error when the system refuses.
  void Create();
  void Show(int showCommand);

  // For the message loop: Tab, Enter and Space on the window's controls. True when handled.
  bool PreTranslate(MSG& message);

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

  void Form_Load();
  void Command1_Click();
  void Close();
  void ApplyDpi(UINT dpi, bool resizeWindow);
  void RestoreFocus();

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND command1_ = nullptr;
  HWND label1_ = nullptr;
  HWND lastFocus_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  int defaultId_ = kCommand1Id;
  bool running_ = false;         // inside Command1_Click
  bool stopRequested_ = false;   // the window was closed, or the program told to quit, during a run
  bool closeAfterRun_ = false;
  int exitCode_ = 0;
};

// A failure that ends the program, in a modal box owned by `owner` while that window exists.
void ShowFailure(HWND owner, const std::string& text) noexcept;

}  // namespace zelvane
