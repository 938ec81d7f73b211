#include "testing/process_win32.h"

#include <tlhelp32.h>

#include <cstdio>
#include <stdexcept>

#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"
#include "testing/files.h"

namespace zelvane::testing {

Process::Process(const Start& start) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;  // no standard handles but those given
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 1;; ++attempt) {
    OwnedHandle file;
    if (!start.outputFile.empty()) {
      SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
      file.Reset(CreateFileW(start.outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file.Valid()) {
        error = GetLastError();
        throw std::runtime_error("could not create " + Narrow(start.outputFile) + ": " + SystemMessage(error));
      }
    }
    const HANDLE output = file.Valid() ? file.Get() : start.output;
    startup.hStdOutput = startup.hStdError = output;
    std::wstring commandLine = start.commandLine;
    const BOOL made = CreateProcessW(start.exe.empty() ? nullptr : start.exe.c_str(), commandLine.data(), nullptr, nullptr,
                                     start.inherit || output != nullptr, start.suspended ? CREATE_SUSPENDED : 0, nullptr,
                                     start.folder.empty() ? nullptr : start.folder.c_str(), &startup, &info);
    error = GetLastError();
    file.Close();
    if (made) break;
    if (error != ERROR_INTERNAL_ERROR || attempt == 3)
      throw std::runtime_error("could not start " + Narrow(start.commandLine) + ": " + SystemMessage(error) + " (" +
                               std::to_string(error) + ")");
    std::fprintf(stderr, "a process start was lost before the program ran (%s); starting it again%s%s\n",
                 SystemMessage(error).c_str(), start.outputFile.empty() ? "" : "; it wrote: ",
                 start.outputFile.empty() ? "" : ReadBytes(start.outputFile).c_str());
  }
  process_.Reset(info.hProcess);
  thread_.Reset(info.hThread);
  id_ = info.dwProcessId;
}

Process::~Process() { End(); }

std::optional<DWORD> Process::Wait(std::chrono::milliseconds bound) const {
  if (WaitForSingleObject(process_.Get(), static_cast<DWORD>(bound.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_.Get(), &code);
  return code;
}

void Process::End() const {
  if (!Running()) return;
  TerminateProcess(process_.Get(), 0xDEAD);
  WaitForSingleObject(process_.Get(), 5000);
}

std::vector<DWORD> ChildProcesses(DWORD parent) {
  const OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) throw std::runtime_error("no process snapshot: " + SystemMessage(GetLastError()));
  std::vector<DWORD> children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry))
    if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) children.push_back(entry.th32ProcessID);
  return children;
}

}  // namespace zelvane::testing
