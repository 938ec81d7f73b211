// The Windows backend: wide-character Win32 calls throughout, so any file name works. Each concern
// has a file of its own (system_win32.h says which); here they are put together as the platform,
// with the crash policy.

#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/crash_policy.h"
#include "platform/owned_handle_win32.h"
#include "platform/platform.h"
#include "platform/self_removal_win32.h"
#include "platform/system_win32.h"
#include "platform/windows_path.h"

namespace zelvane {
namespace {

// The unhandled fault of any thread ends the process with the fault's code, before the system's
// own handling could show a box, ask Windows Error Reporting or start a debugger.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS* fault) {
  TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void EndOnInternalFailure() {
  TerminateProcess(GetCurrentProcess(), kInternalFailureCode);
  std::_Exit(3);  // not reached
}

class Win32Platform : public Platform {
 public:
  // The running image is held from the start, sharing reading and deletion, so that its removal
  // later acts on this file, whatever has been renamed or put at its name meanwhile.
  Win32Platform() {
    try {
      image_.Reset(CreateFileW(SystemPath(Narrow(ModulePath())).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
      if (!image_.Valid()) imageError_ = GetLastError();
    } catch (const PlatformError&) {
      imageError_ = ERROR_FILE_NOT_FOUND;
    }
  }

  char Separator() const override { return '\\'; }

  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    const std::size_t name = path.find_last_of('\\') + 1;
    const std::string& folder = folders_.Of(path.substr(0, name));
    return OpenProfileFile(path, folder.empty() ? folder : folder + path.substr(name), purpose);
  }

  std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                         std::string_view extension) override {
    return ListFolder(folder, extension);
  }

  FolderCopies CopiesOf(const std::string& folder) override {
    return CopiesFor(folder, RightsOfThisRun(), VirtualisedPlaces(), folders_);
  }

  std::string ProgramFolder() override {
    std::string path = ProgramFile();
    path.resize(path.rfind('\\'));
    if (path.size() == 2 && path[1] == ':') path += '\\';  // a drive root keeps its separator
    return path;
  }

  std::string ProgramFile() override { return PlainPath(Narrow(ModulePath())); }

  std::string FullPath(const std::string& path) override {
    const std::wstring full = FullPathName(Widen(path));
    if (full.empty()) Fail("find the full path", path, GetLastError());
    return Narrow(full);
  }

  bool IsFolder(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::optional<FileIdentity> IdentityOf(const std::string& path) override { return IdentityOfPath(SystemPath(path)); }

  std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) override {
    return OpenLogFile(path, RightsOfThisRun().mayReadOthers);
  }

  void WriteToStandardOutput(std::string_view text) override { WriteProcessOutput(text); }
  bool FinishStandardOutput(std::chrono::milliseconds bound) override { return FinishProcessOutput(bound); }

  std::string LocalTimestamp() override {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::string text = "0000-00-00 00:00:00";  // each number written into its zeros, from its last digit
    const auto put = [&text](std::size_t end, unsigned value) {
      for (std::size_t at = end; value > 0 && at-- > 0 && text[at] != '-' && text[at] != ' ' && text[at] != ':'; value /= 10)
        text[at] = static_cast<char>('0' + value % 10);
    };
    put(4, now.wYear), put(7, now.wMonth), put(10, now.wDay), put(13, now.wHour), put(16, now.wMinute), put(19, now.wSecond);
    return text;
  }

  void RemoveProgramAfterExit() override {
    if (!image_.Valid()) Fail("remove the program", ProgramFile(), imageError_);
    RemoveImageAfterExit(image_.Get());
  }

 private:
  OwnedHandle image_;
  DWORD imageError_ = ERROR_SUCCESS;  // why the image could not be held
  ResolvedFolders folders_;           // of the profiles
};

}  // namespace

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

void ShowNoFailureBoxes() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  // Windows Error Reporting without its dialog: WerSetFlags(WER_FAULT_REPORTING_NO_UI), looked up
  // since not every system has it.
  using WerSetFlagsCall = HRESULT(WINAPI*)(DWORD);
  constexpr DWORD kWerFaultReportingNoUi = 0x20;
  if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    if (const auto setFlags = reinterpret_cast<WerSetFlagsCall>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "WerSetFlags"))))
      setFlags(kWerFaultReportingNoUi);
  SetUnhandledExceptionFilter(EndOnFault);
  // The C runtime's abort() shows a "Runtime Error" box in a windowed program before it raises
  // SIGABRT: its message goes to the (absent) standard error instead, and the signal ends the
  // process.
  _set_error_mode(_OUT_TO_STDERR);
  std::signal(SIGABRT, [](int) { EndOnInternalFailure(); });
  std::set_terminate(EndOnInternalFailure);
}

}  // namespace zelvane
