// The program's own executable goes once the program has ended, leaving no copy and no process
// behind. Copies of self_removal_victim stand in for the tool; run under Wine by CTest.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/caption.h"
#include "platform/platform.h"
#include "platform/system_win32.h"
#include "testing/files.h"
#include "testing/files_win32.h"
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
  for (int i = 0; i < 2; ++i) {
    saved[i].resize(32767);
    saved[i].resize(GetEnvironmentVariableW(names[i], saved[i].data(), 32767));
    SetEnvironmentVariableW(names[i], temp.c_str());
  }
  const testing::Process program(
      {.exe = exe, .commandLine = Quoted(exe) + L" " + arguments, .folder = current, .inherit = inheritHandles});
  for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(names[i], saved[i].empty() ? nullptr : saved[i].c_str());
  const std::optional<DWORD> code = program.Wait(kLimit);
  return {code.has_value(), program.Id(), code.value_or(99)};
}

std::wstring Decimal(HANDLE handle) { return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle)); }

// A process that never runs a line on its own: something for a helper to wait on.
class IdleProcess {
 public:
  IdleProcess() : process_({.exe = VictimPath(), .commandLine = Quoted(VictimPath()), .suspended = true}) {
    // The handle a program passes to its helper.
    EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), process_.Handle(), GetCurrentProcess(), inheritable_.Receive(),
                                SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        << GetLastError();
  }
  std::wstring Handle() const { return Decimal(inheritable_.Get()); }
  std::wstring Id() const { return std::to_wstring(process_.Id()); }
  void End() const { process_.End(); }

 private:
  testing::Process process_;
  OwnedHandle inheritable_;
};

// The file a helper is to remove, open through an inheritable handle (for deletion, as the program
// passes it, unless `access` says otherwise).
class Doomed {
 public:
  explicit Doomed(const std::wstring& path, DWORD access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    handle_.Reset(CreateFileW(path.c_str(), access, kShareAll, &inherit, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(handle_.Valid()) << GetLastError();
  }
  std::wstring Handle() const { return Decimal(handle_.Get()); }

 private:
  OwnedHandle handle_;
};

// The workspace's program started as RemoveProgramAfterExit starts its helper: to remove `path`,
// open through `doomed`, once `parent` has ended.
testing::Process StartHelper(const Workspace& space, const IdleProcess& parent, const Doomed& doomed,
                             const std::wstring& path) {
  const std::wstring line = Quoted(space.Exe()) + L" " + kHelperSwitch + L" " + parent.Handle() + L" " + parent.Id() +
                            L" " + doomed.Handle() + L" " + Quoted(path);
  return testing::Process({.exe = space.Exe(), .commandLine = line, .folder = space.Root(), .inherit = true});
}

// The running image goes once the program has ended, whatever its name, leaving no copy, no
// process and nothing in the program's folder but what was there before; never the .exe beside
// it that its name without extension would suggest (a decoy copy of the program).
TEST(SelfRemoval, OnlyTheRunningImageGoesOnceTheProgramHasEndedAndNothingRemains) {
  for (const wchar_t* name : {L"Zelvane Tool.exe", L"Zelvane Tool.com", L"Zelvane Tool.scr", L"Zelvane Tool.bin", L"Zelvane Tool"}) {
    SCOPED_TRACE(Narrow(name));
    Workspace space;
    const std::wstring running = space.Program() + L"\\" + name, outcome = space.NewFile(L"outcome.txt");
    const bool decoy = running != space.Exe();
    if (decoy) {
      ASSERT_TRUE(MoveFileW(space.Exe().c_str(), running.c_str())) << GetLastError();
      ASSERT_TRUE(CopyFileW(VictimPath().c_str(), space.Exe().c_str(), TRUE)) << GetLastError();
    }
    const Ran run = RunProgram(running, Quoted(outcome), space.Temp(), space.Program());
    ASSERT_TRUE(run.ended) << "the program did not end";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(testing::ReadBytes(outcome), "arranged");
    const bool helperSeen = !ChildProcesses(run.id).empty();
    const auto exeGone = WaitUntil([&] { return !Exists(running); }, kLimit);
    EXPECT_TRUE(exeGone) << "the running image is still there " << kLimitMs << " ms after the program ended";
    const auto helperGone = WaitUntil([&] { return ChildProcesses(run.id).empty(); }, kLimit);
    EXPECT_TRUE(helperGone) << "a process started by the program still runs";
    const auto copyGone = WaitUntil([&] { return Entries(space.Temp()).empty(); }, kLimit);
    EXPECT_TRUE(copyGone) << "left in the temporary folder:" << Listed(Entries(space.Temp()));
    EXPECT_EQ(Entries(space.Program()), decoy ? std::vector<std::wstring>{L"Zelvane Tool.exe"} : std::vector<std::wstring>{})
        << "left in, or removed from, the program folder:" << Listed(Entries(space.Program()));
    if (decoy) continue;
    EXPECT_TRUE(RemoveDirectoryW(space.Program().c_str())) << "the program folder is held, error " << GetLastError();
    std::cout << "after the program ended: executable gone in " << exeGone.value_or(kLimit).count()
              << " ms, then no helper after " << helperGone.value_or(kLimit).count() << " ms more and no copy after "
              << copyGone.value_or(kLimit).count() << " ms more (helper "
              << (helperSeen ? "" : "not ") << "seen running as the program ended)\n";
  }
}

// A temporary folder that is missing, or whose path is longer than the system takes for one: the
// removal fails at once, saying why, and the executable stays.
TEST(SelfRemoval, AnUnusableTemporaryFolderFailsClearlyAndKeepsTheExecutable) {
  Workspace space;
  const std::wstring missing = space.Root() + L"\\missing", tooLong = space.Root() + L"\\" + std::wstring(300, L't');
  for (const std::wstring& temp : {missing, tooLong}) {
    SCOPED_TRACE(Narrow(temp));
    const std::string reason = " (temporary folder \"" + Narrow(temp);
    const std::wstring outcome = space.NewFile(L"outcome.txt");
    const Ran run = RunProgram(space.Exe(), Quoted(outcome), temp, space.Program());
    ASSERT_TRUE(run.ended) << "the program did not end";
    EXPECT_EQ(run.exitCode, 1u);
    // The step, the path, then the system's reason and the folder it concerns, on one line.
    const std::string told = testing::ReadBytes(outcome), start = "failed\narrange the removal of the program\n" + Narrow(space.Exe()) + "\n";
    EXPECT_EQ(told.rfind(start, 0), 0u) << told;
    EXPECT_GT(told.find(reason), start.size()) << "no reason given: " << told;
    EXPECT_EQ(told.find('\n', start.size()), std::string::npos) << told;
    EXPECT_TRUE(ChildProcesses(run.id).empty()) << "a process started by the program runs";
    EXPECT_EQ(Entries(space.Program()), std::vector<std::wstring>{L"Zelvane Tool.exe"})
        << Listed(Entries(space.Program()));
    EXPECT_FALSE(Exists(temp));
  }
}

TEST(SelfRemoval, TheHelperRemovesTheNamedFileOnlyOnceTheNamedProcessHasEnded) {
  Workspace space;
  const std::wstring target = space.NewFile(L"target \u00e9.qdx");
  IdleProcess parent;
  std::optional<Doomed> doomed(std::in_place, target);
  const testing::Process helper = StartHelper(space, parent, *doomed, target);
  doomed.reset();  // the helper's own is the one left

  // While the process it waits for lives, the helper neither ends nor removes anything. Given two
  // seconds, a helper that did not wait would have started, removed the file and ended; one that
  // waits can never fail this, however slowly it starts.
  EXPECT_FALSE(helper.Wait(milliseconds(2000))) << "the helper ended while the process it waits for runs";
  EXPECT_TRUE(Exists(target)) << "removed while the process it waits for runs";
  parent.End();
  EXPECT_EQ(helper.Wait(kLimit), 2u) << "the helper did not end once the process it waited for had";
  EXPECT_FALSE(Exists(target));
}

// Once the program has ended, the helper that removes it cannot: it says so in a box of its own
// rather than failing unseen, naming the file and the reason. Held by another program sharing
// deletion, the delete is accepted but the file stays, as with an immutable file; without the
// right to delete it, or a read-only file whose attributes the helper has no right to change, it
// is refused; moved, with another file put at its name, it is left alone where a system deletes
// through a handle by the name it was opened with (Wine; Windows deletes the moved file itself).
// The helper tries for one second here rather than ten.
TEST(SelfRemoval, AHelperThatCannotRemoveTheProgramSaysSo) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"ZELVANE_TEST_PATIENCE_MS", L"1000"));
  const std::wstring caption = Widen(kCaption);
  const struct {
    const char* name;
    DWORD access;  // of the handle the helper is given
    bool held;     // another program holds the file, sharing deletion
    bool readOnly, replaced;
    std::wstring reason;
    const char* onlyUnder = "";  // the system the row is for, where the others do otherwise
  } cases[] = {
      {"held", DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE, true, false, false,
       L"Windows accepted its removal, but the file is still there."},
      {"no right to delete it", FILE_READ_ATTRIBUTES | SYNCHRONIZE, false, false, false, Widen(SystemMessage(ERROR_ACCESS_DENIED))},
      {"read-only", DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, false, true, false, Widen(SystemMessage(ERROR_ACCESS_DENIED)), "Windows"},
      {"moved, another file at its name", DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, false, false, true,
       L"The file at this name is no longer the program that ran", "Wine"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (*c.onlyUnder && (c.onlyUnder == std::string("Wine")) != testing::UnderWine()) {
      std::cout << "row \"" << c.name << "\" not run: it is for " << c.onlyUnder << "\n";
      continue;
    }
    Workspace space;
    const std::wstring path = space.NewFile(L"kept.exe");
    testing::WriteBytes(path, "the program that asked");
    if (c.readOnly) {
      ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    IdleProcess parent;
    std::optional<Doomed> doomed(std::in_place, path, c.access);
    std::optional<testing::FileHold> held;
    if (c.held) held.emplace(path, FILE_SHARE_READ | FILE_SHARE_DELETE);
    const testing::Process helper = StartHelper(space, parent, *doomed, path);
    doomed.reset();
    if (c.replaced) {  // the same bytes, another file
      ASSERT_TRUE(MoveFileW(path.c_str(), (path + L".moved").c_str())) << GetLastError();
      testing::WriteBytes(path, "the program that asked");
    }
    parent.End();

    HWND box = nullptr;  // after a second of trying
    EXPECT_TRUE(WaitUntil([&] { return (box = FindWindowW(L"#32770", caption.c_str())) != nullptr; }, kLimit));
    DWORD owner = 0;
    GetWindowThreadProcessId(box, &owner);
    EXPECT_EQ(owner, helper.Id());
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << "the box has an owner, which has ended";
    std::wstring text(4096, L'\0');
    text.resize(static_cast<std::size_t>(GetDlgItemTextW(box, 0xFFFF, text.data(), 4096)));
    EXPECT_NE(text.find(L"could not remove itself after it ended"), std::wstring::npos) << Narrow(text);
    EXPECT_NE(text.find(path + L"\n" + c.reason), std::wstring::npos) << Narrow(text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(helper.Wait(kLimit), 2u);
    held.reset();
    if (!c.held) {  // refused: as it was; accepted: gone once the other program lets it go
      EXPECT_EQ(testing::ReadBytes(path), "the program that asked") << "the refused file did not stay as it was";
    } else {
      EXPECT_TRUE(WaitUntil([&] { return !Exists(path); }, kLimit));
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  SetEnvironmentVariableW(L"ZELVANE_TEST_PATIENCE_MS", nullptr);
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

}  // namespace
}  // namespace zelvane
