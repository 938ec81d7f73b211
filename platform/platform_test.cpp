// The platform's file operations, listing and program location; run natively and under Wine.

#include "platform/crash_policy.h"
#include "platform/file_identity.h"
#include "platform/log_takeback.h"
#include "platform/platform.h"

#include "platform/text.h"
#ifdef _WIN32
#include "platform/system_win32.h"
#include "testing/files_win32.h"
#else
#include "platform/listing_posix.h"
#endif
#include "platform/windows_path.h"

#include <gtest/gtest.h>

#include <iostream>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <map>
#include <thread>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "testing/files.h"

namespace zelvane {
namespace {

using namespace zelvane::testing;

TEST(Platform, WriteAtOverwritesExtendsAndNeverShortens) {
  struct Case {
    const char* name;
    std::string before;
    std::uint64_t offset;
    std::string bytes;
    std::string after;
  };
  const Case cases[] = {
      {"inside", "abcdef", 2, "XY", "abXYef"},
      {"across the end", "abcdef", 4, "XYZ", "abcdXYZ"},
      {"at the end", "abc", 3, std::string(3, '\0'), std::string("abc\0\0\0", 6)},
      {"nothing", "abc", 1, "", "abc"},
      {"into an empty file", "", 0, "xyz", "xyz"},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    const std::string path = folder.File("f.bin");
    WriteBytes(FromUtf8(path), c.before);
    const auto file = SystemPlatform().OpenProfile(path, OpenFor::Writing);
    EXPECT_EQ(file->Size(), c.before.size()) << c.name;
    file->WriteAt(c.offset, c.bytes);
    std::string back(c.after.size() + 5, '?');
    back.resize(file->ReadAt(0, back.data(), back.size()));
    EXPECT_EQ(back, c.after) << c.name;
    file->Close();
    EXPECT_EQ(ReadBytes(FromUtf8(path)), c.after) << c.name;
  }
}

TEST(Platform, AppendsToAFileCreatingIt) {
  TempFolder folder;
  const std::string log = folder.File("run log \xC3\xA9.txt");
  WriteBytes(FromUtf8(log), "before");
  for (const char* first : {"\r\nfirst\r\n", ""}) {
    const auto file = SystemPlatform().OpenForAppending(log);
    EXPECT_EQ(file->EndsWithLineBreak(), *first == 0);
    file->Append(first);
    SystemPlatform().OpenForAppending(log)->Append("meanwhile\r\n");  // another writer: at the end all the same
    file->Append("second \xE2\x82\xAC\r\n", true);
    EXPECT_TRUE(file->EndsWhole());
    EXPECT_TRUE(IsSameIdentity(file->Identity(), SystemPlatform().IdentityOf(log)));
  }
  EXPECT_EQ(ReadBytes(FromUtf8(log)), "before\r\nfirst\r\nmeanwhile\r\nsecond \xE2\x82\xAC\r\nmeanwhile\r\nsecond \xE2\x82\xAC\r\n");
  EXPECT_THROW(SystemPlatform().OpenForAppending(folder.File("no such folder") + SystemPlatform().Separator() + "log.txt"),
               PlatformError);
  {  // a log held open (a window left open) can be rotated all the same
    const auto held = SystemPlatform().OpenForAppending(log);
    std::filesystem::rename(Literal(FromUtf8(log)), Literal(FromUtf8(log + ".1")));
    std::filesystem::rename(Literal(FromUtf8(log + ".1")), Literal(FromUtf8(log)));
  }

  // Two runs appending to one log at once: every line of each arrives whole, once.
  const std::string shared = folder.File("shared.log");
  constexpr int kLines = 3000;
  const auto writer = [&](char who) {
    const auto file = SystemPlatform().OpenForAppending(shared);
    for (int i = 0; i < kLines; ++i) file->Append(std::string(1, who) + " line " + std::to_string(i) + " of a run\r\n");
  };
  std::thread one(writer, 'a'), two(writer, 'b');
  one.join();
  two.join();
  std::map<std::string, int> lines;
  const std::string written = ReadBytes(FromUtf8(shared));
  for (std::size_t at = 0, end; (end = written.find("\r\n", at)) != std::string::npos; at = end + 2)
    ++lines[written.substr(at, end - at)];
  EXPECT_EQ(written.size(), 2u * (kLines * 18 + 10 * 1 + 90 * 2 + 900 * 3 + 2000 * 4)) << "bytes were lost or overwritten";
  EXPECT_EQ(lines.size(), 2u * kLines);
  for (const auto& [line, times] : lines) EXPECT_EQ(times, 1) << line;
#ifndef _WIN32
  // A text that does not fit (a file size limit, as a full disk) is taken back whole.
  const rlimit limit{static_cast<rlim_t>(ReadBytes(FromUtf8(log)).size() + 10), RLIM_INFINITY}, unlimited{RLIM_INFINITY, RLIM_INFINITY};
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string before = ReadBytes(FromUtf8(log));
  const auto file = SystemPlatform().OpenForAppending(log);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  EXPECT_THROW(file->Append("a line longer than ten bytes\r\n"), PlatformError);
  setrlimit(RLIMIT_FSIZE, &unlimited);
  EXPECT_EQ(ReadBytes(FromUtf8(log)), before);
  EXPECT_TRUE(file->EndsWhole());
#endif
}

// What a failed append left is cut away only while the file ends with it alone.
TEST(Platform, AFailedAppendIsTakenBackOnlyWhileNobodyAppendedAfterIt) {
  const std::string text = "upgraded: b.qdx\r\n";
  const struct {
    const char* name;
    std::optional<std::uint64_t> now;  // the file was 100 bytes long before the append
    std::optional<std::string> tail;   // what reading the bytes after the first 100 gives
    bool takeBack;
  } cases[] = {
      {"part of it", 104, "upgr", true},
      {"all of it, the flush failed", 100 + text.size(), text, true},
      {"another writer's line instead", 108, "other\r\n", false},
      {"ours, then another writer's", 100 + text.size() + 7, text + "other\r\n", false},
      {"more than it", 100 + text.size() + 1, text + "x", false},
      {"what is there cannot be read", 105, std::nullopt, false},
      {"the file was cut shorter", 90, std::nullopt, false},
      {"its length cannot be told", std::nullopt, text, false},
  };
  for (const auto& c : cases) {
    const auto read = [&c, &text](std::uint64_t offset, std::size_t size) {
      EXPECT_EQ(offset, 100u) << c.name;
      EXPECT_EQ(size, *c.now - 100) << c.name;
      EXPECT_LE(size, text.size()) << c.name;  // never more than the text: nothing read without bound
      return c.tail;
    };
    EXPECT_EQ(IsOnlyOurs(100, c.now, text, read), c.takeBack) << c.name;
  }
}

#ifdef _WIN32
std::string other;  // a line another writer appends while a write of the log fails
HANDLE otherLog = INVALID_HANDLE_VALUE;

BOOL WINAPI WriteHalfThenFill(HANDLE file, LPCVOID data, DWORD size, LPDWORD n, LPOVERLAPPED) {
  if (otherLog != INVALID_HANDLE_VALUE) WriteFile(otherLog, other.data(), static_cast<DWORD>(other.size()), n, nullptr);
  WriteFile(file, data, size / 2, n, nullptr);
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

int ticks = 0;
ULONGLONG WINAPI ASecondACall() { return 1000ull * static_cast<ULONGLONG>(++ticks); }

BOOL WINAPI FillsAtOnce(HANDLE, LPCVOID, DWORD, LPDWORD n, LPOVERLAPPED) {
  *n = 0;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

volatile LONG slowBegun = 0, slowEnded = 0;  // a slow write to standard output has begun, has ended
BOOL WINAPI SlowWrite(HANDLE, LPCVOID, DWORD size, LPDWORD n, LPOVERLAPPED) {
  InterlockedExchange(&slowBegun, 1);
  Sleep(300);
  *n = size;
  InterlockedExchange(&slowEnded, 1);
  return TRUE;
}

BOOL WINAPI CutRefused(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

HANDLE WINAPI ReadingRefused(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                             DWORD flags, HANDLE model) {
  if (access & FILE_READ_DATA) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(name, access, share, security, disposition, flags, model);
}

BOOL WINAPI FlushFails(HANDLE) {
  SetLastError(ERROR_NETNAME_DELETED);
  return FALSE;
}

// The Windows log's take-back and flush, through the calls that write and flush it.
TEST(Platform, AWindowsLogThatFailsIsGivenBackWhatItHeld) {
  const auto partThenFull = WriteHalfThenFill;
  const auto flushFails = FlushFails;
  const LogCalls cutRefused{partThenFull, FlushFileBuffers, GetTickCount64, CreateFileW, CutRefused};
  const LogCalls unreadable{partThenFull, FlushFileBuffers, GetTickCount64, ReadingRefused};
  const struct {
    const char* name;
    LogCalls calls;
    bool anotherWriter;
    DWORD reason;
    bool whole;
  } cases[] = {
      {"half written, the disk full", {partThenFull, FlushFileBuffers}, false, ERROR_DISK_FULL, true},
      {"nothing written, the disk full", {FillsAtOnce, FlushFileBuffers}, false, ERROR_DISK_FULL, true},
      {"written, the flush failed", {WriteFile, flushFails}, false, ERROR_NETNAME_DELETED, true},
      {"half written after another writer's line", {partThenFull, FlushFileBuffers}, true, ERROR_DISK_FULL, false},
      {"half written, its cut refused", cutRefused, false, ERROR_DISK_FULL, false},
      // Appended all the same where reading is refused; what was written cannot be told apart then.
      {"half written to a log it may not read", unreadable, false, ERROR_DISK_FULL, false},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string log = folder.File("run.log");
    WriteBytes(FromUtf8(log), "heading\r\n");
    other = c.anotherWriter ? "another run's line\r\n" : "";
    const std::unique_ptr<AppendFile> file = OpenLogFile(log, false, c.calls);
    const std::unique_ptr<AppendFile> second = SystemPlatform().OpenForAppending(log);
    otherLog = c.anotherWriter ? CreateFileW(Literal(FromUtf8(log)).c_str(), FILE_APPEND_DATA, 7, nullptr, OPEN_EXISTING, 0, nullptr)
                               : INVALID_HANDLE_VALUE;
    try {
      file->Append("upgraded: a profile with a long name.qdx\r\n", true);
      ADD_FAILURE() << "the failure was not reported";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Reason().rfind(SystemMessage(c.reason), 0), 0u) << e.Reason();
    }
    if (otherLog != INVALID_HANDLE_VALUE) CloseHandle(otherLog);
    otherLog = INVALID_HANDLE_VALUE;
    EXPECT_EQ(file->EndsWhole(), c.whole);
    const std::string after = ReadBytes(FromUtf8(log));
    if (c.whole) {
      EXPECT_EQ(after, "heading\r\n");
    } else {
      EXPECT_EQ(after.rfind("heading\r\n" + other, 0), 0u) << "another writer's line was cut away: " << after;
    }
  }

  // Another appender holds the lock (a run that hangs): its wait is measured by the clock, ten
  // seconds, once; the lines are appended all the same. Windows' Sleep lasts a timer tick.
  ticks = 0;
  const std::string log = folder.File("locked.log");
  const std::unique_ptr<AppendFile> file = OpenLogFile(log, false, {WriteFile, FlushFileBuffers, ASecondACall});
  const OwnedHandle holder(CreateFileW(Literal(FromUtf8(log)).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  OVERLAPPED at = OverlappedAt(kLogLockAt);
  ASSERT_TRUE(LockFileEx(holder.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at));
  file->Append("first\r\n");
  EXPECT_TRUE(file->LockAbandoned());
  EXPECT_GE(ticks, 10);
  EXPECT_LE(ticks, 12);
  file->Append("second\r\n");
  EXPECT_LE(ticks, 12) << "waited again for a lock it had given up on";
  EXPECT_EQ(ReadBytes(FromUtf8(log)), "first\r\nsecond\r\n");

  // Standard output's writer, through the call that writes it: its finish waits for the write in
  // hand (the text taken, none waiting), and says whether every write went through.
  for (const WriteCall call : {WriteCall{SlowWrite}, WriteCall{FillsAtOnce}}) {
    auto* writer = new OutputWriter(nullptr, call);  // never freed: its thread lives on
    writer->Write("the report\r\n");
    while (call == SlowWrite && InterlockedCompareExchange(&slowBegun, 0, 0) == 0) Sleep(1);
    EXPECT_EQ(writer->Finish(std::chrono::seconds(20)), call == SlowWrite);
    EXPECT_TRUE(call != SlowWrite || InterlockedCompareExchange(&slowEnded, 0, 0) == 1) << "done before the write in hand";
  }
}
#endif

TEST(Platform, ReadsAnywhereAndTruncates) {
  TempFolder folder;
  std::string big(5'000'011, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  WriteBytes(folder.Path() / "big.bin", big);
  const auto file = SystemPlatform().OpenProfile(folder.File("big.bin"), OpenFor::Writing);
  std::string whole(big.size(), '\0'), part(10, '\0');
  EXPECT_EQ(file->ReadAt(0, whole.data(), whole.size()), big.size());
  EXPECT_EQ(whole, big);
  EXPECT_EQ(file->ReadAt(big.size() - 4, part.data(), part.size()), 4u);  // fewer only at the end
  EXPECT_EQ(part.substr(0, 4), big.substr(big.size() - 4));
  EXPECT_EQ(file->ReadAt(big.size() + 100, part.data(), part.size()), 0u);
  file->Truncate(1000);
  file->Close();
  EXPECT_EQ(ReadBytes(folder.Path() / "big.bin"), big.substr(0, 1000));
}

TEST(Platform, FailuresSayWhatWhereAndWhy) {
  TempFolder folder;
  std::filesystem::create_directories(folder.Path() / "sub");
  const std::string missing = folder.File("missing.qdx");
  const std::string sub = folder.File("sub");
  const std::string readOnly = folder.File("read-only.qdx");
  WriteBytes(FromUtf8(readOnly), "abc");
  std::filesystem::permissions(Literal(FromUtf8(readOnly)), std::filesystem::perms::owner_read);
  // Written() tells whether a file may have changed: not while writing is refused, but from the
  // first write the system was asked for on, even one that it failed.
  const std::string writable = folder.File("writable.qdx");
  WriteBytes(FromUtf8(writable), "abc");
  std::unique_ptr<ProfileFile> file;
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string action, path;
    bool written = false;
  };
  std::vector<Case> cases = {
      {"open a missing file for writing", [&] { file = SystemPlatform().OpenProfile(missing, OpenFor::Writing); },
       "open the file for writing", missing},
      {"open a missing file", [&] { file = SystemPlatform().OpenProfile(missing, OpenFor::Reading); }, "open the file", missing},
      {"write a file opened for reading",
       [&] { (file = SystemPlatform().OpenProfile(readOnly, OpenFor::Reading))->WriteAt(0, "x"); },
       "open the file for writing", readOnly},
      {"write past any file's end",
       [&] { (file = SystemPlatform().OpenProfile(writable, OpenFor::Writing))->WriteAt(std::uint64_t{INT64_MAX} - 1, "xyz"); },
       "write to the file", writable, true},
  };
  const bool readOnlyHolds = !std::ofstream(Literal(FromUtf8(readOnly)), std::ios::app);
  if (readOnlyHolds)  // unless the system lets this user write anyway: see the end
    cases.push_back({"write a read-only file",
                     [&] { (file = SystemPlatform().OpenProfile(readOnly, OpenFor::Writing))->WriteAt(3, "x"); },
                     "open the file for writing", readOnly});
  for (const Case& c : cases) {
    file.reset();
    try {
      c.call();
      ADD_FAILURE() << c.name << " succeeded";
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Action(), c.action) << c.name;
      EXPECT_EQ(e.Path(), c.path) << c.name;
      EXPECT_FALSE(e.Reason().empty()) << c.name;
      EXPECT_EQ(std::string(e.what()), c.path + "\nCould not " + c.action + ". " + e.Reason()) << c.name;
    }
    EXPECT_EQ(file && file->Written(), c.written) << c.name;
  }

#ifdef _WIN32
  // Another program's hold on a file, by its share mode or a lock on its bytes (which Windows
  // enforces on a read and Wine does not), is "in use": close that program and try again.
  const std::pair<DWORD, Cause> causes[] = {
      {ERROR_SHARING_VIOLATION, Cause::InUse}, {ERROR_LOCK_VIOLATION, Cause::InUse}, {ERROR_ACCESS_DENIED, Cause::Other}};
  for (const auto& [error, cause] : causes) {
    try {
      Fail("read the file", readOnly, error);
    } catch (const PlatformError& e) {
      EXPECT_EQ(e.Why(), cause) << error;
    }
  }
#endif

  // A folder named like a profile is refused, however often, and leaves nothing open behind.
  const std::optional<std::size_t> open = OpenDescriptors();
  for (int i = 0; i < 100; ++i)
    for (const OpenFor purpose : {OpenFor::Reading, OpenFor::Writing})
      EXPECT_THROW(SystemPlatform().OpenProfile(sub, purpose), PlatformError);
  EXPECT_EQ(OpenDescriptors(), open);
  EXPECT_FALSE(std::filesystem::exists(Literal(FromUtf8(missing))));  // opening never creates a file
  std::filesystem::permissions(Literal(FromUtf8(readOnly)), std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadBytes(FromUtf8(readOnly)), "abc");
  if (!readOnlyHolds) GTEST_SKIP() << "this user may write read-only files (root may, natively and under Wine): their refusal was not seen";
}

// Every path reaches Windows in the form that takes names as they stand.
TEST(Platform, PathsTakeEveryNameAsItStands) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Quindrel\\appfiles\\formats\\nul.qdx", "\\\\?\\C:\\Quindrel\\appfiles\\formats\\nul.qdx"},
      {"C:\\\\appfiles\\formats\\", "\\\\?\\C:\\appfiles\\formats\\"},  // a drive root's doubled separator
      {"C:/a/./b/../c. /d.qdx.", "\\\\?\\C:\\a\\c. \\d.qdx."},  // trailing dots and spaces kept
      {"C:\\", "\\\\?\\C:\\"},
      {"D:\\work\\..\\..\\..\\x", "\\\\?\\D:\\x"},  // never above the root
      {"\\\\server\\share\\x\\con.qdx", "\\\\?\\UNC\\server\\share\\x\\con.qdx"},
      {"//server/share/x.qdx", "\\\\?\\UNC\\server\\share\\x.qdx"},  // forward slashes too
      {"\\\\?\\C:\\as it is\\.", "\\\\?\\C:\\as it is\\."},
      {"\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
      {"sub\\aux.qdx", "sub\\aux.qdx"},  // not full: made full as a typed path is, by the system
  };
  for (const auto& [path, extended] : cases) EXPECT_EQ(ExtendedLengthPath(path), extended) << path;
  EXPECT_EQ(PlainPath("\\\\?\\C:\\a"), "C:\\a");
  EXPECT_EQ(PlainPath("\\\\?\\UNC\\s\\x"), "\\\\s\\x");
  EXPECT_EQ(PlainPath("C:\\a"), "C:\\a");

  // On disk: a profile of any name, and one past MAX_PATH, is opened, written and read as it stands.
  TempFolder folder;
  std::filesystem::path deep = folder.Path();
  for (int i = 0; i < 6; ++i) deep /= std::string(50, static_cast<char>('a' + i));
  std::filesystem::create_directories(Literal(deep));
  std::vector<std::string> paths = {Utf8(deep / "profile.qdx")};
  for (const char* name : {"\xD0\x9F\xD1\x80\xD0\xBE\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C.qdx",  // Cyrillic
                           "\xE6\xA0\xBC\xE5\xBC\x8F \xF0\x9F\x93\x84.qdx",                     // CJK, emoji
                           "with spaces; and 'quotes'.qdx", "nul.qdx", "con.qdx", "CONIN$.qdx", "aux.qdx", "com1.qdx",
                           "lpt1.qdx", "prn.qdx", "trailing dot.qdx.", "trailing space.qdx "})
    paths.push_back(folder.File(name));
#ifdef _WIN32
  // Wine tells the path of a file opened by a name with a trailing dot or blank without them, as if
  // it lay elsewhere; Windows keeps such a name whole. No listing gives such a name anyway.
  if (UnderWine()) paths.resize(paths.size() - 2);
#endif
  ASSERT_GT(paths[0].size(), 300u);
  for (const std::string& path : paths) {
    WriteBytes(FromUtf8(path), "abc");
    const auto file = SystemPlatform().OpenProfile(path, OpenFor::Writing);
    file->WriteAt(3, "xyz");
    file->Close();
    EXPECT_EQ(ReadBytes(FromUtf8(path)), "abcxyz") << path;
  }
}

#ifdef _WIN32
// Users of the system's list of profiles, with copies of a folder in a virtualised place: a profile
// folder named with a final separator and listed again under a ".bak" key, one past MAX_PATH, one
// that is not on this machine, and two whose copies a link leads elsewhere (their VirtualStore, and
// the formats folder below it): those are left as they are. A run Windows virtualises has none; an
// elevated or SYSTEM run has them all; any other has this user's alone, and says it left the others
// unread. The folder and the place are resolved, so a link to either changes nothing. Only Windows
// shows junctions a user makes; Unix links stand in for them under Wine.
void WhatWindowsMakesOfAFolderForEachRun() {
  TempFolder root;
  const std::filesystem::path place = root.Path() / "Program Files", formats = place / "Q" / "appfiles" / "formats";
  std::filesystem::create_directories(formats);
  const std::string part = Utf8(formats).substr(2) + "\\";
  const std::wstring list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
  const std::string alice = "S-1-5-21-7-7-7-2001", bob = "S-1-5-21-7-7-7-2002";
  const std::filesystem::path bobs = root.Path() / std::string(150, 'b') / std::string(100, 'o') / "bob";
  const std::pair<std::string, std::string> keys[] = {
      {alice, Utf8(root.Path() / "alice") + "\\"}, {alice + ".bak", Utf8(root.Path() / "alice")},
      {bob, Utf8(bobs)}, {"S-1-5-21-7-7-7-2003", Utf8(root.Path() / "gone")},
      {"S-1-5-21-7-7-7-2004", Utf8(root.Path() / "dave")}, {"S-1-5-21-7-7-7-2005", Utf8(root.Path() / "erin")}};
  for (const auto& [key, folder] : keys) {
    const std::wstring value = Widen(folder);
    if (RegSetKeyValueW(HKEY_LOCAL_MACHINE, (list + Widen(key)).c_str(), L"ProfileImagePath", REG_EXPAND_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
      std::cout << "not run: the system's list of profiles cannot be written by this user\n";
      return;
    }
  }
  // Each user's VirtualStore, and the formats folder below it, where Windows keeps the copies.
  const auto store = [&](const char* user) { return root.Path() / user / "AppData" / "Local" / "VirtualStore"; };
  const std::filesystem::path below = FromUtf8(part.substr(1, part.size() - 2)), bobsStore = bobs / "AppData" / "Local" / "VirtualStore";
  for (const std::filesystem::path& copies : {store("alice") / below, bobsStore / below, store("elsewhere") / below,
                                              store("erin") / below.parent_path(), store("dave").parent_path()})
    std::filesystem::create_directories(Literal(copies));
  const bool linked = MakeLink(formats, root.Path() / "linked formats", Link::ToFolder) &&
                      MakeLink(place, root.Path() / "linked place", Link::ToFolder) &&
                      MakeLink(store("elsewhere"), store("dave"), Link::ToFolder) &&
                      MakeLink(store("elsewhere") / below, store("erin") / below, Link::ToFolder);
  const auto copyOf = [&](const std::filesystem::path& user) { return Utf8(user) + "\\AppData\\Local\\VirtualStore" + part; };
  const std::string gone = "its profile folder " + Utf8(root.Path() / "gone") + " is not on this machine";
  const auto leads = [&](const std::string& user) {
    return user + "|" + copyOf(root.Path() / user) + "|its copies in " + copyOf(root.Path() / user) + " lead to " +
           copyOf(root.Path() / "elsewhere").substr(0, copyOf(root.Path() / "elsewhere").size() - 1) + " through a link";
  };
  std::vector<std::string> others = {"alice|" + copyOf(root.Path() / "alice") + "|", "bob|" + copyOf(bobs) + "|",
                                     "gone|" + copyOf(root.Path() / "gone") + "|" + gone};
  if (linked) others.insert(others.begin() + 2, {leads("dave"), leads("erin")});
  const std::string folder = Utf8(formats) + "\\", throughLink = Utf8(root.Path() / "linked formats") + "\\";
  const struct {
    const char* name;
    RunRights rights;
    std::string folder, place;
    bool virtualised, unread;
    std::vector<std::string> users;  // user|folder|why not reached, the start of it
  } rows[] = {
      {"a virtualised run", {true, false, alice}, folder, Utf8(place), true, false, {}},
      {"an elevated run", {false, true, alice}, folder, Utf8(place), false, false, others},
      {"a standard user's run", {false, false, alice}, folder, Utf8(place), false, true, {others[0]}},
      {"through a link to the folder", {false, true, alice}, throughLink, Utf8(place), false, false, others},
      {"through a link to the place", {false, true, alice}, folder, Utf8(root.Path() / "linked place"), false, false, others},
      {"another place", {false, true, alice}, folder, Utf8(root.Path() / "elsewhere"), false, false, {}},
  };
  for (const auto& r : rows) {
    if (!linked && r.folder != folder) continue;
    ResolvedFolders folders;
    const FolderCopies copies = CopiesFor(r.folder, r.rights, {"C:\\Windows", r.place}, folders);
    EXPECT_EQ(copies.virtualised, r.virtualised) << r.name;
    EXPECT_EQ(copies.othersUnread, r.unread) << r.name;
    std::vector<std::string> got;
    for (const UserCopy& c : copies.users)
      if (c.user.find("S-1-5-21-7-7-7-") == 0 || c.folder.find(Utf8(root.Path())) == 0)  // the test's own users
        got.push_back(c.user + "|" + c.folder + "|" + c.unreachable.substr(0, c.unreachable.find(" (")));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, r.users) << r.name;
  }
  for (const auto& key : keys) RegDeleteKeyW(HKEY_LOCAL_MACHINE, (list + Widen(key.first)).c_str());
}
#endif

// Windows keeps users' copies of what lies in the Program Files folders, ProgramData and the
// Windows folder, below "<profile>\AppData\Local\VirtualStore" and the path without its drive;
// the system's list of profiles holds the service accounts too.
TEST(Platform, TellsWhereWindowsKeepsEachUsersCopies) {
  const std::vector<std::string> places = {"C:\\Program Files", "C:\\Program Files (x86)\\", "C:\\ProgramData"};
  const std::pair<const char*, std::optional<std::string>> folders[] = {
      {"C:\\Program Files (x86)\\Quindrel\\appfiles\\formats\\", "\\Program Files (x86)\\Quindrel\\appfiles\\formats\\"},
      {"\\\\?\\c:\\program files\\Q\\", "\\program files\\Q\\"},  // as the system resolves it, any case
      {"C:\\ProgramData", "\\ProgramData"},
      {"C:\\Program Files Old\\Q\\", std::nullopt},  // another name that begins the same
      {"D:\\Program Files\\Q\\", std::nullopt},
      {"C:\\Quindrel\\appfiles\\formats\\", std::nullopt},
      {"\\\\server\\Program Files\\Q\\", std::nullopt},
  };
  for (const auto& [folder, part] : folders) EXPECT_EQ(VirtualisedPart(folder, places), part) << folder;
  const std::pair<const char*, bool> accounts[] = {
      {"S-1-5-21-3623811015-3361044348-30300820-1013", true}, {"S-1-12-1-1234-5678-9012-3456", true},
      {"S-1-5-18", false}, {"S-1-5-19", false}, {"S-1-5-20", false}, {"S-1-5-80-1-2-3-4-5", false}, {"S-1-5-21", false}};
  for (const auto& [sid, person] : accounts) EXPECT_EQ(IsPersonsAccount(sid), person) << sid;
  EXPECT_EQ(SidOfProfileKey("S-1-5-21-1-2-3-1001.bak"), "S-1-5-21-1-2-3-1001");  // a profile Windows could not load
  EXPECT_EQ(SidOfProfileKey("S-1-5-21-1-2-3-1001"), "S-1-5-21-1-2-3-1001");
  const std::pair<const char*, const char*> users[] = {  // a profile folder, and whose it is
      {"C:\\Users\\alice", "alice"}, {"C:\\Users\\alice\\", "alice"}, {"C:\\Users\\alice\\\\", "alice"},
      {"C:/Users/bob/", "bob"}, {"\\\\server\\profiles\\carol.V6\\", "carol.V6"}, {"D:\\", "S-1"}, {"D:", "S-1"},
      {"\\\\?\\D:\\", "S-1"}, {"", "S-1"}};
  for (const auto& [folder, user] : users) EXPECT_EQ(UserNameOf(folder, "S-1"), user) << folder;
#ifdef _WIN32
  WhatWindowsMakesOfAFolderForEachRun();
#endif
}

std::vector<std::string> ListAll(const std::string& folder) {
  std::vector<std::string> names;
  const auto listing = SystemPlatform().ListFiles(folder, ".qdx");
  for (std::string name = listing->Next(); !name.empty(); name = listing->Next()) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

// Names ending in ".qdx", in any letter case, are listed, and nothing else: not hidden and system
// files, as Windows marks them; a name that begins with a dot is hidden only where the system makes
// it so (POSIX), and is a profile on Windows. The test's Wine prefix is told to show dot files as
// Windows does (cmake/wine-run), since Wine hides them. A missing folder, and an empty one, list
// nothing.
TEST(Platform, ListsOrdinaryFilesByTheirLongNameOnly) {
  TempFolder folder;
  const char s = SystemPlatform().Separator();
  EXPECT_TRUE(ListAll(Utf8(folder.Path()) + s + "no" + s + "such" + s).empty());
  EXPECT_TRUE(ListAll(Utf8(folder.Path()) + s).empty());
  const bool windows = s == '\\';
  std::vector<std::string> listed = {"a.qdx", "B.QDX", "long name with spaces.qDx",
                                     "\xD0\xBF\xD1\x80\xD0\xBE\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C.qdx"};
  const char* dotted[] = {".x.qdx", ".qdx"};  // a profile on Windows, hidden elsewhere
  if (windows) listed.insert(listed.end(), std::begin(dotted), std::end(dotted));
  const char* unlisted[] = {"notes.qdxold", "x.qdx.bak", "readme.txt", "qdx", "y.qdx~", "a.qd"};
  const std::pair<const char*, Hidden> hidden[] = {{".hidden.qdx", Hidden::Hidden}, {".system.qdx", Hidden::System}};
  for (const std::string& name : listed) WriteBytes(folder.Path() / FromUtf8(name), "x");
  for (const char* name : unlisted) WriteBytes(folder.Path() / name, "x");
  for (const auto& [name, how] : hidden) {
    WriteBytes(folder.Path() / name, "x");
    Hide(folder.Path() / name, how);
  }
  for (const char* name : dotted) WriteBytes(folder.Path() / name, "x");
  std::filesystem::create_directories(folder.Path() / "folder.qdx");
  std::vector<std::string> expected = listed;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListAll(Utf8(folder.Path()) + s), expected);
}

#ifdef _WIN32
BOOL WINAPI FindNextThenFail(HANDLE find, LPWIN32_FIND_DATAW data) {
  static int calls = 0;
  if (++calls % 2 == 1) return FindNextFileW(find, data);
  SetLastError(ERROR_NETNAME_DELETED);
  return FALSE;
}
#else
dirent* ReadDirThenFail(DIR* dir) {
  static int calls = 0;
  if (++calls % 2 == 1) return ::readdir(dir);
  errno = EIO;
  return nullptr;
}
#endif

#ifdef _WIN32
// A name with a surrogate without its pair, as the system may list one: Wine's file systems cannot
// hold such a name, so the listing's call gives it, and what the listing hands on is what the
// open gives the system back.
BOOL WINAPI FindNextGivingALoneSurrogate(HANDLE find, LPWIN32_FIND_DATAW data) {
  static bool given = false;
  if (given) return FindNextFileW(find, data);
  given = true;
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  lstrcpyW(data->cFileName, L"lone \xD800 surrogate.qdx");
  return TRUE;
}

TEST(Platform, ANameThatIsNoValidUtf16ReachesTheOpenAsListed) {
  TempFolder folder;
  WriteBytes(folder.Path() / "a.qdx", "x");
  const auto listing = ListFolder(Utf8(folder.Path()) + "\\", ".qdx", FindNextGivingALoneSurrogate);
  std::vector<std::wstring> names;
  for (std::string name = listing->Next(); !name.empty(); name = listing->Next()) names.push_back(Widen(name));
  EXPECT_NE(std::find(names.begin(), names.end(), L"lone \xD800 surrogate.qdx"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), L"a.qdx"), names.end());
}
#endif

// A listing whose system call fails part-way (a share that drops) says so, and does not end as
// if the folder held no more.
TEST(Platform, AListingThatFailsPartWaySaysSo) {
  TempFolder folder;
  for (const char* name : {"a.qdx", "b.qdx", "c.qdx"}) WriteBytes(folder.Path() / name, "x");
#ifdef _WIN32
  const auto failing = FindNextThenFail;
#else
  const auto failing = ReadDirThenFail;
#endif
  try {
    const auto listing = ListFolder(Utf8(folder.Path()) + SystemPlatform().Separator(), ".qdx", failing);
    while (!listing->Next().empty()) {
    }
    ADD_FAILURE() << "the listing ended as if the folder held no more";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Action(), "list the folder");
    EXPECT_FALSE(e.Reason().empty());
  }
}

TEST(Platform, RewritingListedFilesDoesNotDisturbTheListing) {
  TempFolder folder;
  for (int i = 0; i < 50; ++i) WriteBytes(folder.Path() / ("p" + std::to_string(i) + ".qdx"), "abc");
  const auto listing = SystemPlatform().ListFiles(Utf8(folder.Path()) + SystemPlatform().Separator(), ".qdx");
  std::vector<std::string> seen;
  for (std::string name = listing->Next(); !name.empty(); name = listing->Next()) {
    SystemPlatform().OpenProfile(folder.File(name), OpenFor::Writing)->WriteAt(3, std::string(3, '\0'));
    seen.push_back(name);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(seen.size(), 50u);
}

TEST(Platform, KnowsTheProgramsFolderAndName) {
  Platform& platform = SystemPlatform();
  const std::string folder = platform.ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), platform.Separator());
  const std::string exe = folder + platform.Separator() + "platform_test" + (platform.Separator() == '\\' ? ".exe" : "");
  EXPECT_TRUE(std::filesystem::is_regular_file(FromUtf8(exe))) << exe;
  EXPECT_TRUE(platform.IsFolder(folder));
  EXPECT_FALSE(platform.IsFolder(exe));
  EXPECT_EQ(platform.FullPath(exe), exe);
  EXPECT_EQ(platform.ProgramFile(), exe);
  const char s = platform.Separator();
  const std::string parent = folder.substr(0, folder.rfind(s)), name = folder.substr(folder.rfind(s) + 1);
  EXPECT_TRUE(platform.IsSameFile(folder, parent + s + "." + s + name + s + ".." + s + name + s));
  EXPECT_TRUE(platform.IsSameFile(exe, folder + s + "." + exe.substr(folder.size())));
  EXPECT_FALSE(platform.IsSameFile(folder, parent));
  EXPECT_FALSE(platform.IsSameFile(exe, folder));
  EXPECT_FALSE(platform.IsSameFile(folder + s + "missing", folder + s + "missing"));
}

#ifdef _WIN32
// The program's path and the other texts the system writes into a buffer come whole at any length
// (a program folder deeper than MAX_PATH), whether the call answers a buffer too small with the
// size it needs or, as GetModuleFileNameW does, with the size it was given; a failed call is empty.
TEST(Platform, SystemTextsComeWholeAtAnyLength) {
  for (const std::size_t length : {0u, 259u, 260u, 261u, 300u, 1000u}) {
    const std::wstring whole(length, L'x');
    for (const bool answersTheGivenSize : {false, true}) {
      int calls = 0;
      const std::wstring text = SystemText([&](wchar_t* buffer, DWORD size) -> DWORD {
        if (++calls > 8) return 0;  // a buffer that never grows: give up rather than hang
        const std::size_t written = std::min<std::size_t>(length, size - 1);
        std::copy_n(whole.data(), written, buffer);
        buffer[written] = L'\0';
        if (length < size) return static_cast<DWORD>(length);
        return answersTheGivenSize ? size : static_cast<DWORD>(length + 1);
      });
      EXPECT_EQ(text, whole) << "answering " << (answersTheGivenSize ? "the given size" : "the size needed");
    }
  }
  EXPECT_EQ(SystemText([](wchar_t*, DWORD) -> DWORD { return 0; }), L"");
}
#endif

#ifndef _WIN32
// A path a person typed whose full form cannot be had (the current folder is gone) is named as typed.
TEST(Platform, AFullPathThatCannotBeHadNamesTheTypedPath) {
  const std::filesystem::path before = std::filesystem::current_path();
  {
    TempFolder gone;
    std::filesystem::current_path(gone.Path());
  }
  try {
    SystemPlatform().FullPath("run.log");
    ADD_FAILURE() << "a full path was had from a folder that is gone";
  } catch (const PlatformError& e) {
    EXPECT_EQ(e.Path(), "run.log");
    EXPECT_FALSE(e.Reason().empty());
  }
  std::filesystem::current_path(before);
}
#endif

// Two identities are one file by volume and number where both numbers are known; a number of all 0
// or all 1 bits is not, and then only the paths the system resolves them to tell.
TEST(Platform, FileIdentitiesCompareByNumberOrElseByFinalPath) {
  const auto identity = [](std::uint64_t volume, std::uint8_t id, const char* finalPath, bool folder = false) {
    FileIdentity made{volume, {}, finalPath, folder};
    made.id.fill(id);
    made.id[0] = id == 0 || id == 0xFF ? id : 1;
    return made;
  };
  const struct {
    const char* name;
    std::optional<FileIdentity> a, b;  // none: no such file
    bool same;
  } cases[] = {
      {"same volume and number", identity(7, 2, "C:\\a"), identity(7, 2, "C:\\b"), true},
      {"another number", identity(7, 2, "C:\\a"), identity(7, 3, "C:\\a"), false},
      {"another volume", identity(7, 2, "C:\\a"), identity(8, 2, "C:\\a"), false},
      {"numbers of 0, other paths", identity(7, 0, "C:\\a"), identity(7, 0, "C:\\b"), false},
      {"numbers of 0, one path", identity(7, 0, "C:\\a"), identity(7, 0, "C:\\a"), true},
      {"numbers of all 1 bits, other paths", identity(7, 0xFF, "C:\\a"), identity(7, 0xFF, "C:\\b"), false},
      {"one number unknown, one path", identity(7, 0xFF, "C:\\a"), identity(7, 2, "C:\\a"), true},
      {"nothing known", identity(7, 0, ""), identity(7, 0, ""), false},
      {"a folder and a file", identity(7, 2, "C:\\a", true), identity(7, 2, "C:\\a"), false},
      {"no such file", identity(7, 2, "C:\\a"), std::nullopt, false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsSameIdentity(c.a, c.b), c.same) << c.name;
}

// A run that nobody watches ends at once on a failure of its own, with a code that tells which,
// and shows no box: a box would keep the child that dies here from ending.
TEST(Platform, FailuresEndARunThatNobodyWatchesWithoutABox) {
  if (SystemPlatform().Separator() != '\\') GTEST_SKIP() << "only Windows shows boxes for these";
  const struct {
    const char* name;
    void (*fail)();
    unsigned long code;
  } cases[] = {
      {"std::terminate", [] { std::terminate(); }, kInternalFailureCode},
      {"abort", [] { std::abort(); }, kInternalFailureCode},
      {"an access violation",
       [] {
         volatile int* volatile nowhere = nullptr;
         *nowhere = 1;
       },
       0xC0000005},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          ShowNoFailureBoxes();
          c.fail();
        },
        ::testing::ExitedWithCode(static_cast<int>(c.code)), "")
        << c.name;
  }
}

// The command line and every listed name arrive in UTF-16 and are carried in UTF-8, a surrogate
// without its pair as the three bytes of its code point, so that each comes back unit for unit; a
// report shows such a unit as U+FFFD.
TEST(Platform, EveryUtf16NameComesBackAsItWas) {
  const struct {
    std::u16string utf16;
    std::string utf8;
    std::string shown;  // as a report shows it
  } cases[] = {
      {u"/quiet", "/quiet", "/quiet"},
      {u"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC", "\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001D11E", "\xF0\x9D\x84\x9E", "\xF0\x9D\x84\x9E"},      // a pair of surrogates
      {u"a\xD834", "a\xED\xA0\xB4", "a\xEF\xBF\xBD"},                  // a high surrogate at the end
      {u"\xDD1E" u"a.qdx", "\xED\xB4\x9E" "a.qdx", "\xEF\xBF\xBD" "a.qdx"},  // a low one alone
      {u"\xD834\xD834\xDD1E", "\xED\xA0\xB4\xF0\x9D\x84\x9E", "\xEF\xBF\xBD\xF0\x9D\x84\x9E"},
      {u"\xD834\xE000", "\xED\xA0\xB4\xEE\x80\x80", "\xEF\xBF\xBD\xEE\x80\x80"},  // a high one before no low one
      {std::u16string(1, u'\0'), std::string(1, '\0'), std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8FromUtf16(std::u16string_view(c.utf16)), c.utf8) << c.utf8;
    EXPECT_EQ(Utf16FromUtf8<char16_t>(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(ValidUtf8(c.utf8), c.shown) << c.utf8;
  }
  // Bytes that are no UTF-8 become U+FFFD, as Windows converts them: overlong forms, a sequence
  // cut by the end of the text (here with its next byte, outside the text, one that would end it).
  const std::string_view bad[] = {"\xFF", "\xC0\xAF", "\xE0\x80\xAF", "\xF4\x90\x80\x80", "\x80", {"\xE2\x82\xAC", 2}};
  for (const std::string_view bytes : bad) EXPECT_EQ(Utf16FromUtf8<char16_t>(bytes).front(), u'\xFFFD') << bytes;
}

}  // namespace
}  // namespace zelvane
