#pragma once
// A process that a test, the end-to-end driver or a benchmark starts, and the processes a process
// started.

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/owned_handle_win32.h"

namespace zelvane::testing {

// Started at construction, or std::runtime_error says why not; ended (within a bound) and its
// handles closed when destroyed. Under Wine a start is now and then lost before the new process
// runs anything of its own, and CreateProcessW fails with ERROR_INTERNAL_ERROR, which Windows does
// not give for a program that exists: such a start is made again, three attempts in all, each loss
// said on standard error.
class Process {
 public:
  struct Start {
    std::wstring exe = {};          // named to the system apart; empty: the line's first word
    std::wstring commandLine = {};  // as the process gets it
    std::wstring folder = {};       // its current folder; empty: this one's
    bool suspended = false;     // never runs a line of its own: a process to wait on and end
    bool inherit = false;       // it inherits this process's inheritable handles
    HANDLE output = nullptr;    // its standard output and error, when given
    std::wstring outputFile = {};  // or a file made anew for each attempt: a lost one may have written to it
  };
  explicit Process(const Start& start);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.Get(); }
  // The exit code once the process has ended within `bound`.
  std::optional<DWORD> Wait(std::chrono::milliseconds bound) const;
  bool Running() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
  // Ends it, if it still runs, and waits (a bounded time) until it has.
  void End() const;

 private:
  OwnedHandle process_, thread_;
  DWORD id_ = 0;
};

// The processes still running that `parent` started. Throws std::runtime_error when the system
// cannot tell.
std::vector<DWORD> ChildProcesses(DWORD parent);

}  // namespace zelvane::testing
