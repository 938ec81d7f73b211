// The program's own executable goes once the program has ended, leaving no copy and no process
// behind. Copies of self_removal_victim stand in for the tool; run under Wine by CTest.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure_win32.h"
#include "platform/paths_win32.h"
#include "platform/platform.h"
#include "platform/text_win32.h"
#include "testing/files.h"
#include "testing/system_win32.h"
#include "testing/wait_until.h"

namespace zelvane {
namespace {

using testing::ChildProcesses;
using testing::Entries;
using testing::WaitUntil;
using std::chrono::milliseconds;

constexpr DWORD kLimitMs = 20000;  // the longest any wait here may take
constexpr milliseconds kLimit{kLimitMs};
constexpr wchar_t kHelperSwitch[] = L"/zelvane-remove-after";

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring VictimPath() {
  return std::filesystem::path(ModulePath()).replace_filename(L"self_removal_victim.exe").wstring();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Listed(const std::vector<std::wstring>& names) {
  std::string out;
  for (const std::wstring& name : names) out += " \"" + Narrow(name) + "\"";
  return out;
}

// A fresh folder holding a program folder (with a space and accented letters in its name) and a
// folder to serve as the programs' temporary folder.
class Workspace {
 public:
  Workspace() {
    std::filesystem::create_directory(Program());
    std::filesystem::create_directory(Temp());
    std::filesystem::copy_file(VictimPath(), Exe());
  }

  std::wstring Root() const { return root_.Path().wstring(); }
  std::wstring Program() const { return Root() + L"\\program \u00e9t\u00e9"; }
  std::wstring Temp() const { return Root() + L"\\temp"; }
  std::wstring Exe() const { return Program() + L"\\Zelvane Tool.exe"; }

  // An empty file in the root.
  std::wstring NewFile(const std::wstring& name) const {
    const std::wstring path = Root() + L"\\" + name;
    testing::WriteBytes(path, "");
    return path;
  }

 private:
  testing::TempFolder root_{"zelvane-removal-"};
};

struct Ran {
  bool ended = false;  // within kLimitMs; otherwise the process was ended by the test
  DWORD id = 0;
  DWORD exitCode = 0;
};

// Runs `exe` with `arguments`, its temporary folder `temp`, in the folder `current`; waits for it.
Ran RunProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& temp,
               const std::wstring& current, bool inheritHandles = false) {
  // The program inherits this process's environment, its temporary folder changed for the while.
  const wchar_t* names[] = {L"TMP", L"TEMP"};
  std::wstring saved[2];
  bool had[2] = {};
  for (int i = 0; i < 2; ++i) {
    saved[i].resize(32767);
    const DWORD n = GetEnvironmentVariableW(names[i], saved[i].data(), 32767);
    had[i] = n != 0;
    saved[i].resize(n);
    SetEnvironmentVariableW(names[i], temp.c_str());
  }
  std::wstring commandLine = Quoted(exe) + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  const BOOL ok = testing::StartProcess([&] {
    return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr, current.c_str(),
                          &startup, &started);
  });
  const DWORD error = GetLastError();
  for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(names[i], had[i] ? saved[i].c_str() : nullptr);

  Ran run;
  if (!ok) {
    ADD_FAILURE() << "could not start " << Narrow(exe) << ", error " << error;
    return run;
  }
  CloseHandle(started.hThread);
  run.id = started.dwProcessId;
  run.ended = WaitForSingleObject(started.hProcess, kLimitMs) == WAIT_OBJECT_0;
  if (!run.ended) {
    TerminateProcess(started.hProcess, 99);
    WaitForSingleObject(started.hProcess, kLimitMs);
  }
  GetExitCodeProcess(started.hProcess, &run.exitCode);
  CloseHandle(started.hProcess);
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

// A process that never runs a line on its own: something for a helper to wait on.
class IdleProcess {
 public:
  IdleProcess() {
    std::wstring commandLine = Quoted(VictimPath());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    EXPECT_TRUE(testing::StartProcess([&] {
      return CreateProcessW(VictimPath().c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                            nullptr, &startup, &process_);
    }))
        << GetLastError();
    // The handle a program passes to its helper.
    EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), process_.hProcess, GetCurrentProcess(), &inheritable_,
                                SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        << GetLastError();
  }
  ~IdleProcess() {
    End();
    CloseHandle(inheritable_);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  IdleProcess(const IdleProcess&) = delete;
  IdleProcess& operator=(const IdleProcess&) = delete;

  std::wstring Handle() const { return std::to_wstring(reinterpret_cast<std::uintptr_t>(inheritable_)); }
  std::wstring Id() const { return std::to_wstring(process_.dwProcessId); }
  void End() {
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, kLimitMs);
  }

 private:
  PROCESS_INFORMATION process_{};
  HANDLE inheritable_ = nullptr;
};

TEST(SelfRemoval, TheExecutableGoesOnceTheProgramHasEndedAndNothingRemains) {
  Workspace space;
  const std::wstring outcome = space.NewFile(L"outcome.txt");
  const Ran run = RunProgram(space.Exe(), Quoted(outcome), space.Temp(), space.Program());
  ASSERT_TRUE(run.ended) << "the program did not end";
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(testing::ReadBytes(outcome), "arranged");

  const bool helperSeen = !ChildProcesses(run.id).empty();
  const auto exeGone = WaitUntil([&] { return !Exists(space.Exe()); }, kLimit);
  EXPECT_TRUE(exeGone) << "the executable is still there " << kLimitMs << " ms after the program ended";
  const auto helperGone = WaitUntil([&] { return ChildProcesses(run.id).empty(); }, kLimit);
  EXPECT_TRUE(helperGone) << "a process started by the program still runs";
  const auto copyGone = WaitUntil([&] { return Entries(space.Temp()).empty(); }, kLimit);
  EXPECT_TRUE(copyGone) << "left in the temporary folder:" << Listed(Entries(space.Temp()));
  EXPECT_TRUE(Entries(space.Program()).empty()) << "left in the program folder:" << Listed(Entries(space.Program()));
  EXPECT_TRUE(RemoveDirectoryW(space.Program().c_str())) << "the program folder is held, error " << GetLastError();
  std::cout << "after the program ended: executable gone in " << exeGone.value_or(kLimit).count()
            << " ms, then no helper after " << helperGone.value_or(kLimit).count() << " ms more and no copy after "
            << copyGone.value_or(kLimit).count() << " ms more (helper "
            << (helperSeen ? "" : "not ") << "seen running as the program ended)\n";
}

TEST(SelfRemoval, AnUnusableTemporaryFolderFailsClearlyAndKeepsTheExecutable) {
  Workspace space;
  const std::wstring outcome = space.NewFile(L"outcome.txt");
  const std::wstring missing = space.Root() + L"\\missing";
  const Ran run = RunProgram(space.Exe(), Quoted(outcome), missing, space.Program());
  ASSERT_TRUE(run.ended) << "the program did not end";
  EXPECT_EQ(run.exitCode, 1u);
  const std::vector<std::string> lines = Lines(testing::ReadBytes(outcome));
  ASSERT_EQ(lines.size(), 4u) << "outcome: " << testing::ReadBytes(outcome);
  EXPECT_EQ(lines[0], "failed");
  EXPECT_EQ(lines[1], "arrange the removal of the program");
  EXPECT_EQ(lines[2], Narrow(space.Exe()));
  // The system's reason, then the folder it concerns.
  const std::size_t folder = lines[3].find(" (temporary folder \"" + Narrow(missing));
  EXPECT_NE(folder, std::string::npos) << lines[3];
  EXPECT_GT(folder, 0u) << "no reason given: " << lines[3];
  EXPECT_TRUE(ChildProcesses(run.id).empty()) << "a process started by the program runs";
  EXPECT_EQ(Entries(space.Program()), std::vector<std::wstring>{L"Zelvane Tool.exe"})
      << Listed(Entries(space.Program()));
  EXPECT_FALSE(Exists(missing));
  std::cout << "reason given: " << lines[3] << "\n";
}

// The file a helper is to remove, open for deletion through an inheritable handle, as the program
// passes it.
class Doomed {
 public:
  explicit Doomed(const std::wstring& path) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    handle_ = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
  }
  ~Doomed() { CloseHandle(handle_); }
  Doomed(const Doomed&) = delete;
  Doomed& operator=(const Doomed&) = delete;
  std::wstring Handle() const { return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle_)); }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(SelfRemoval, TheHelperRemovesTheNamedFileOnlyOnceTheNamedProcessHasEnded) {
  Workspace space;
  const std::wstring target = space.NewFile(L"target \u00e9.qdx");
  IdleProcess parent;
  std::optional<Doomed> doomed(std::in_place, target);
  std::wstring commandLine = Quoted(space.Exe()) + L" " + kHelperSwitch + L" " + parent.Handle() + L" " +
                             parent.Id() + L" " + doomed->Handle() + L" " + Quoted(target);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION helper{};
  ASSERT_TRUE(testing::StartProcess([&] {
    return CreateProcessW(space.Exe().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          space.Root().c_str(), &startup, &helper);
  }))
      << GetLastError();
  CloseHandle(helper.hThread);
  doomed.reset();  // the helper's own is the one left

  // While the process it waits for lives, the helper neither ends nor removes anything. Given two
  // seconds, a helper that did not wait would have started, removed the file and ended; one that
  // waits can never fail this, however slowly it starts.
  EXPECT_EQ(WaitForSingleObject(helper.hProcess, 2000), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the helper ended while the process it waits for runs";
  EXPECT_TRUE(Exists(target)) << "removed while the process it waits for runs";
  parent.End();

  const bool ended = WaitForSingleObject(helper.hProcess, kLimitMs) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(helper.hProcess, 99);
  DWORD exitCode = 0;
  GetExitCodeProcess(helper.hProcess, &exitCode);
  CloseHandle(helper.hProcess);
  EXPECT_TRUE(ended) << "the helper did not end once the process it waited for had";
  EXPECT_EQ(exitCode, 2u);
  EXPECT_FALSE(Exists(target));
}

TEST(SelfRemoval, TheHelperLeavesAloneWhatItCannotTrust) {
  Workspace space;
  const std::wstring target = space.NewFile(L"target.qdx");
  IdleProcess parent;  // never ends of its own: a helper waiting for it would be stopped by the test
  const Doomed doomed(target);
  const std::wstring ours = std::to_wstring(GetCurrentProcessId());
  const std::wstring p = parent.Handle(), id = parent.Id(), file = doomed.Handle(), path = Quoted(target);
  const std::wstring cases[] = {
      L"",
      p + L" " + id,
      p + L" " + id + L" " + path,                     // no handle to the file
      p + L" " + id + L" " + file + L" " + path + L" more",
      L"abc " + id + L" " + file + L" " + path,
      L"-" + p + L" " + id + L" " + file + L" " + path,
      p + L"0000000000000000000000 " + id + L" " + file + L" " + path,
      p + L" " + ours + L" " + file + L" " + path,     // not the process the handle is for
      p + L" 0 " + file + L" " + path,
      L"0 " + id + L" " + file + L" " + path,
      p + L" " + id + L" " + p + L" " + path,          // the file's handle is the process's
      p + L" " + id + L" 0 " + path,
      p + L" " + id + L" " + file + L" \"\"",
  };
  for (const std::wstring& arguments : cases) {
    const Ran run = RunProgram(space.Exe(), std::wstring(kHelperSwitch) + L" " + arguments, space.Temp(),
                               space.Root(), true);
    EXPECT_TRUE(run.ended) << "the helper waited on: " << Narrow(arguments);
    EXPECT_EQ(run.exitCode, 5u) << "taken for a helper's line: " << Narrow(arguments);
    EXPECT_TRUE(Exists(target)) << "removed on: " << Narrow(arguments);
  }
}

// Only the running image goes, whatever its name, and never the .exe beside it that its name
// without extension would suggest.
TEST(SelfRemoval, OnlyTheRunningImageGoesWhateverItsName) {
  for (const wchar_t* name : {L"Zelvane Tool.com", L"Zelvane Tool.scr", L"Zelvane Tool.bin", L"Zelvane Tool"}) {
    SCOPED_TRACE(Narrow(name));
    Workspace space;
    const std::wstring running = space.Program() + L"\\" + name;
    ASSERT_TRUE(MoveFileW(space.Exe().c_str(), running.c_str())) << GetLastError();
    ASSERT_TRUE(CopyFileW(VictimPath().c_str(), space.Exe().c_str(), TRUE)) << GetLastError();  // the decoy
    const Ran run = RunProgram(running, Quoted(space.NewFile(L"outcome.txt")), space.Temp(), space.Program());
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(running); }, kLimit)) << "the running image is still there";
    EXPECT_TRUE(WaitUntil([&] { return ChildProcesses(run.id).empty(); }, kLimit));
    EXPECT_TRUE(Exists(space.Exe())) << "the .exe beside it was removed";
  }
}

}  // namespace
}  // namespace zelvane
