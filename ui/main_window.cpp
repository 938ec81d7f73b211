#include "ui/main_window.h"

#include <initializer_list>
#include <stdexcept>
#include <utility>

#include "platform/caption.h"
#include "platform/platform.h"
#include "platform/system_win32.h"
#include "ui/dpi_win32.h"
#include "ui/main_window_layout.h"
#include "ui/resource.h"
#include "upgrade/command_line_checks.h"
#include "upgrade/report_writer.h"

namespace zelvane {
namespace {

using main_window::kClassName;
using main_window::kIntroduction;
using main_window::kRunButtonId;
using main_window::kStatusLabelId;

// A fixed dialog frame: a caption with the system menu, no sizing border, no minimise or maximise.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

[[noreturn]] void FailSystem(const std::string& action) {
  const DWORD error = GetLastError();
  throw std::runtime_error("Zelvane could not " + action + ". " + SystemMessage(error));
}

HMENU ControlId(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

// No exception may unwind through the system's code that called a window procedure: a failure
// is shown and ends the program with exit code 1.
template <class Handler>
LRESULT Guarded(HWND window, Handler handler) noexcept {
  try {
    return handler();
  } catch (const std::exception& e) {
    ShowFailure(window, e.what());
  } catch (...) {
    ShowFailure(window, "Zelvane stopped after an unexpected failure.");
  }
  ExitProcess(1);
}

}  // namespace

void ShowFailure(HWND owner, const std::string& text) noexcept {
  const wchar_t* shown = L"Zelvane stopped after an unexpected failure.";
  std::wstring wide;
  try {
    wide = Widen(text);
    shown = wide.c_str();
  } catch (...) {
  }
  MessageBoxW(owner != nullptr && IsWindow(owner) ? owner : nullptr, shown, Widen(kCaption).c_str(), MB_OK | MB_ICONERROR);
}

MainWindow::MainWindow(HINSTANCE instance, CommandLine line, ReportWriter& writer)
    : instance_(instance), line_(std::move(line)), writer_(writer) {}

MainWindow::~MainWindow() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  if (font_ != nullptr) DeleteObject(font_);
}

void MainWindow::Create() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance_;
  windowClass.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_ZELVANE), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                                    LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_ZELVANE), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = kClassName;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    FailSystem("register its window class");

  // Sized for the system's scale first; ApplyDpi corrects it for the monitor the window landed on.
  const LayoutRect client = ControlRect(kMainWindowClientTwips, static_cast<int>(SystemDpi()));
  const SIZE size = WindowSizeForClient(client.width, client.height, kStyle, kExStyle, SystemDpi());
  if (CreateWindowExW(kExStyle, kClassName, Widen(kCaption).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy,
                      nullptr, nullptr, instance_, this) == nullptr)
    FailSystem("create its window");

  // Created in tab order: the button first.
  runButton_ = CreateWindowExW(0, L"BUTTON", L"Run", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0,
                              0, 0, hwnd_, ControlId(kRunButtonId), instance_, nullptr);
  if (runButton_ == nullptr) FailSystem("create its Run button");
  statusLabel_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0, hwnd_,
                            ControlId(kStatusLabelId), instance_, nullptr);
  if (statusLabel_ == nullptr) FailSystem("create its label");

  ApplyDpi(WindowDpi(hwnd_), true);
  SendMessageW(hwnd_, DM_SETDEFID, kRunButtonId, 0);
  Guarded(hwnd_, [this] {
    OnCreate();
    return LRESULT{0};
  });
}

void MainWindow::Show(int showCommand) {
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  lastFocus_ = runButton_;
  SetFocus(runButton_);
}

bool MainWindow::PreTranslate(MSG& message) { return hwnd_ != nullptr && IsDialogMessageW(hwnd_, &message); }

void MainWindow::OnCreate() { SetWindowTextW(statusLabel_, Widen(kIntroduction).c_str()); }

void MainWindow::OnRunClicked() {
  if (running_) return;  // a click that arrives while the run pumps events
  running_ = true;
  RunReport report;
  try {
    report = writer_.Run(*this, OptionsFor(line_));
  } catch (const PlatformError& e) {
    running_ = false;
    ShowWarning("Zelvane could not write its log, so it did not start.\n\n" + std::string(e.what()), Caption());
    return;
  }
  running_ = false;
  exitCode_ = ExitCodeOf(report);
  if (!report.logFailure.empty()) ShowWarning(report.logFailure, Caption());
  if (report.end == RunEnd::Failed) ShowFailure(hwnd_, report.failure);  // then the window closes
  // After an arranged removal the program must end promptly: the executable goes once it has.
  const bool close = report.end == RunEnd::Failed || report.removal == Removal::Arranged ||
                     report.end == RunEnd::Stopped || closeAfterRun_;
  if (close && hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void MainWindow::Close() {
  if (running_) {
    // Never in the middle of a file: the run stops after the current one and the window goes then.
    stopRequested_ = true;
    closeAfterRun_ = true;
    return;
  }
  DestroyWindow(hwnd_);
}

// Painted when the run next pumps events, which it does right after setting the text.
void MainWindow::SetStatusText(const std::string& text) { SetWindowTextW(statusLabel_, Widen(text).c_str()); }

void MainWindow::DisableRunButton() {
  if (GetFocus() == runButton_) SetFocus(hwnd_);  // keeps the keyboard (Alt+F4) with the window
  EnableWindow(runButton_, FALSE);
}

std::string MainWindow::Caption() {
  const int length = GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd_, text.data(), length + 1)));
  return Narrow(text);
}

void MainWindow::ShowWarning(const std::string& message, const std::string& title) {
  MessageBoxW(hwnd_, Widen(message).c_str(), Widen(title).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool MainWindow::AskYesNo(const std::string& message, const std::string& title) {
  return MessageBoxW(hwnd_, Widen(message).c_str(), Widen(title).c_str(), MB_YESNO) == IDYES;
}

void MainWindow::PumpEvents() {
  MSG message;
  bool quit = false;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      exitCode_ = static_cast<int>(message.wParam);
      break;
    }
    if (!PreTranslate(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (quit) {
    // The main loop must still see it once the run has stopped.
    stopRequested_ = true;
    PostQuitMessage(exitCode_);
  }
}

bool MainWindow::StopRequested() { return stopRequested_; }

void MainWindow::ApplyDpi(UINT dpi, bool resizeWindow) {
  dpi_ = dpi;
  const int scale = static_cast<int>(dpi);
  if (resizeWindow) {
    const LayoutRect client = ControlRect(kMainWindowClientTwips, scale);
    const SIZE size = WindowSizeForClient(client.width, client.height, kStyle, kExStyle, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const HFONT font = CreateMessageFont(dpi);
  for (const auto& [control, twips] : {std::pair{runButton_, kRunButtonTwips}, std::pair{statusLabel_, kStatusLabelTwips}}) {
    const LayoutRect r = ControlRect(twips, scale);
    SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

void MainWindow::RestoreFocus() {
  HWND target = nullptr;
  if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_))
    target = lastFocus_;
  else if (runButton_ != nullptr && IsWindowEnabled(runButton_))
    target = runButton_;
  if (target != nullptr)
    SetFocus(target);
  else if (GetFocus() != hwnd_)
    SetFocus(hwnd_);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return Guarded(window, [&] { return self->HandleMessage(message, wParam, lParam); });
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // Enter with the button disabled arrives as IDOK, Esc as IDCANCEL: neither does anything.
      if (LOWORD(wParam) == kRunButtonId && HIWORD(wParam) == BN_CLICKED) {
        OnRunClicked();
        return 0;
      }
      break;
    case DM_GETDEFID:  // asked by IsDialogMessage for Enter
      return MAKELRESULT(defaultId_, DC_HASDEFID);
    case DM_SETDEFID:
      defaultId_ = static_cast<int>(wParam);
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
      } else if (HIWORD(wParam) == 0) {  // not minimised
        RestoreFocus();
      }
      return 0;
    case WM_SETFOCUS:
      RestoreFocus();
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyDpi(HIWORD(wParam), false);
      return 0;
    }
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETNONCLIENTMETRICS) ApplyDpi(dpi_, false);  // the message font changed
      break;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(exitCode_);
      return 0;
    case WM_NCDESTROY: {
      const HWND window = hwnd_;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      hwnd_ = runButton_ = statusLabel_ = lastFocus_ = nullptr;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

}  // namespace zelvane
