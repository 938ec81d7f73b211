// End-to-end tests of Zelvane.exe: each case lays out a fresh Quindrel folder in the temporary
// folder, copies the program in, starts it, works its window and message boxes from outside as a
// person would, and checks what is on the screen and every byte of the files afterwards.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e/zelvane_app.h"
#include "platform/caption.h"
#include "platform/system_win32.h"
#include "testing/files_win32.h"
#include "testing/sample_profiles.h"
#include "ui/main_window_ids.h"
#include "upgrade/run_report.h"

namespace zelvane::e2e {
namespace {

using namespace std::chrono_literals;
using namespace zelvane::samples;
using main_window::kRunButtonId;
using main_window::kStatusLabelId;

const std::wstring kIntroduction = Widen(main_window::kIntroduction);
const std::wstring kWideCaption = Widen(kCaption);
const std::wstring kFormats = L"appfiles\\formats\\";

// Bounds: generous, since the first start of a program in a fresh Wine prefix is slow. None is a
// timing expectation; each only keeps a broken run from hanging the suite.
constexpr auto kStartBound = 60s;
constexpr auto kBoxBound = 30s;
constexpr auto kRunBound = 120s;
constexpr auto kExitBound = 20s;
constexpr auto kRemovalBound = 20s;

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Byte-exact comparison that reports sizes, the first difference and the last bytes of each.
::testing::AssertionResult SameBytes(const std::optional<std::string>& actual, const std::string& expected) {
  if (!actual) return ::testing::AssertionFailure() << "the file is gone";
  if (*actual == expected) return ::testing::AssertionSuccess();
  const auto diff = std::mismatch(actual->begin(), actual->begin() + static_cast<std::ptrdiff_t>(std::min(actual->size(), expected.size())),
                                  expected.begin());
  const auto tail = [](const std::string& s) { return Hex(std::string_view(s).substr(s.size() - std::min<std::size_t>(s.size(), 8))); };
  return ::testing::AssertionFailure() << "size " << actual->size() << " (expected " << expected.size()
                                       << "), first difference at byte " << (diff.first - actual->begin())
                                       << "; ends with [" << tail(*actual) << "] (expected [" << tail(expected) << "])";
}

// A message of the tool's own, in the window's way: its caption, one OK button, an icon, and owned
// by the window.
::testing::AssertionResult ToldByTheWindow(const MessageBoxView& box) {
  if (box.title == kWideCaption && box.buttons == std::vector<int>{IDOK} && box.icon && box.ownedByWindow)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not the tool's own OK box with an icon, owned by the window: " << box.Describe();
}

struct Profile {
  std::wstring path;  // relative to the Quindrel folder
  std::string bytes;
  bool upgraded;      // whether the run is to append the empty Text32 and Byte5
  std::string Expected() const { return upgraded ? Upgraded(bytes) : bytes; }
};

class ZelvaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ScreenDpi(), 96) << "the layout is checked at 96 dpi";
    exe_ = ZelvaneExe();
    folder_ = std::make_unique<Folder>(FolderPrefix());
    folder_->CopyIn(exe_, L"Zelvane.exe");
  }

  void TearDown() override {
    app_.reset();  // ends a program a failed case left running
    for (const std::wstring& relative : immutable_) EXPECT_TRUE(Chattr(relative, "-i")) << Narrow(relative);
    immutable_.clear();
    folder_.reset();
  }

  virtual std::wstring FolderPrefix() const { return L"zelvane-e2e "; }

  Folder& folder() { return *folder_; }
  ZelvaneProcess& app() { return *app_; }

  void Lay(const std::vector<Profile>& profiles) {
    for (const Profile& p : profiles) folder().Write(p.path, p.bytes);
  }

  void ExpectFiles(const std::vector<Profile>& profiles, const char* when) {
    for (const Profile& p : profiles)
      EXPECT_TRUE(SameBytes(folder().Read(p.path), p.Expected())) << Narrow(p.path) << ", " << when;
  }

  // Starts the copy of Zelvane.exe in the Quindrel folder (or the one at `exe` there) with
  // `arguments`, and waits for its window.
  void Launch(const std::wstring& arguments = L"", const std::wstring& exe = L"Zelvane.exe") {
    Start(arguments, exe);
    ASSERT_TRUE(app_->WaitForWindow(kStartBound))
        << "no visible window of the main window's class appeared"
        << (app_->Running() ? "" : "; the program ended with code " + std::to_string(*app_->WaitForExit(0ms)));
  }

  void Start(const std::wstring& arguments, const std::wstring& exe = L"Zelvane.exe",
             const std::wstring& standardOutput = L"", ZelvaneProcess::Name name = ZelvaneProcess::Name::Quoted) {
    app_ = std::make_unique<ZelvaneProcess>(folder().Join(exe), folder().Path(), arguments, standardOutput, name);
  }

  // Presses Run and waits for the message box that ends the run.
  void RunAndWaitForBox(MessageBoxView& box, std::chrono::milliseconds bound = kRunBound) {
    app().Click(kRunButtonId);
    WaitForBox(box, bound);
  }

  void WaitForBox(MessageBoxView& box, std::chrono::milliseconds bound = kBoxBound) {
    const std::optional<MessageBoxView> found = app().WaitForMessageBox(bound);
    ASSERT_TRUE(found) << "no message box appeared; label: \"" << Narrow(app().ControlText(kStatusLabelId)) << "\""
                       << (app().Running() ? "" : ", the program ended");
    box = *found;
  }

  void Answer(int button) {
    ASSERT_TRUE(app().Answer(button)) << "the message box has no button " << button;
    ASSERT_TRUE(app().WaitForMessageBoxGone(kBoxBound)) << "the message box stayed open";
  }

  void CloseAndExpectExit(unsigned long code) {
    app().CloseWindow();
    EXPECT_EQ(app().WaitForExit(kExitBound), code) << "the program did not end after its window was closed, or not so";
    EXPECT_TRUE(folder().Exists(L"Zelvane.exe")) << "the tool went without a Yes";
  }

  // Makes the file at `relative` immutable ("+i") or not ("-i") with chattr, which Wine starts as
  // any program, and says whether that took: Wine gives no exit code of a Linux program, so the file
  // tells, by whether it may be opened for writing (an immutable file may not, even by root). An
  // immutable file's writes fail even through a handle opened before. False where chattr is not to
  // be had (on Windows, or without root on ext4 or the like); immutable files are let go again at
  // the end of the test.
  bool Chattr(const std::wstring& relative, const char* change) {
    if (!testing::UnderWine()) return false;
    const std::wstring path = folder().Join(relative);
    const bool took = testing::RunUnix(L"/usr/bin/chattr", L"chattr " + Widen(change) + L" \"" + testing::UnixPath(path) + L"\"", [&] {
      const OwnedHandle write(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
      return write.Valid() == (change[0] == '-');
    });
    if (took && change[0] == '+') immutable_.push_back(relative);
    return took;
  }

  std::wstring exe_;
  std::vector<std::wstring> immutable_;  // let go before the folder is removed
  std::unique_ptr<Folder> folder_;
  std::unique_ptr<ZelvaneProcess> app_;
};

// ---- start-up ----

struct ControlLook {
  int id;
  const wchar_t* className;
  Rect rect;  // client coordinates of the window, at 96 dpi
};

TEST_F(ZelvaneTest, StartsWithTheWindowAsDesigned) {
  const std::vector<Profile> profiles = {
      {kFormats + L"start.qdx", Encode(Legacy({.seed = "start", .arrays = Arrays::None})), false}};
  Lay(profiles);
  ASSERT_NO_FATAL_FAILURE(Launch());

  EXPECT_EQ(app().Caption(), kWideCaption);
  EXPECT_EQ(app().ClientArea(), (Rect{0, 0, 312, 139})) << ToString(app().ClientArea());
  const std::uint32_t style = app().WindowStyle();
  EXPECT_EQ(style & WS_CAPTION, static_cast<std::uint32_t>(WS_CAPTION)) << "no title bar";
  EXPECT_TRUE(style & WS_SYSMENU) << "no close box";
  EXPECT_FALSE(style & WS_THICKFRAME) << "the frame can be resized";
  EXPECT_FALSE(style & WS_MINIMIZEBOX) << "a minimize box";
  EXPECT_FALSE(style & WS_MAXIMIZEBOX) << "a maximize box";
  const Rect window = app().WindowScreenRect();
  EXPECT_TRUE(window.x >= 0 && window.y >= 0 && window.x + window.width <= GetSystemMetrics(SM_CXSCREEN) &&
              window.y + window.height <= GetSystemMetrics(SM_CYSCREEN))
      << "the window is not wholly on the screen: " << ToString(window);

  const ControlLook controls[] = {{kStatusLabelId, L"Static", {8, 8, 297, 57}}, {kRunButtonId, L"Button", {96, 80, 113, 41}}};
  for (const ControlLook& c : controls) {
    SCOPED_TRACE("control " + std::to_string(c.id));
    ASSERT_TRUE(app().HasControl(c.id));
    EXPECT_EQ(lstrcmpiW(app().ControlClass(c.id).c_str(), c.className), 0) << Narrow(app().ControlClass(c.id));
    EXPECT_EQ(app().ControlRect(c.id), c.rect) << ToString(app().ControlRect(c.id));
    EXPECT_TRUE(app().ControlVisible(c.id));
    EXPECT_TRUE(app().ControlEnabled(c.id));
  }
  EXPECT_EQ(app().ControlText(kStatusLabelId), kIntroduction);
  EXPECT_EQ(app().ControlText(kRunButtonId), L"Run");
  EXPECT_EQ(app().ControlStyle(kRunButtonId) & BS_TYPEMASK, static_cast<std::uint32_t>(BS_DEFPUSHBUTTON))
      << "Run is not drawn as the default button";
  EXPECT_TRUE(WaitUntil([&] { return app().FocusedControlId() == kRunButtonId; }, 5s))
      << "the focus is on control " << app().FocusedControlId();

  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit(0));
  ExpectFiles(profiles, "after starting and closing without a run");
}

// ---- nothing to upgrade ----

struct NothingToUpgrade {
  const char* name;
  std::vector<std::wstring> folders;
  std::vector<Profile> files;  // none of them is touched
};

void PrintTo(const NothingToUpgrade& layout, std::ostream* out) { *out << layout.name; }

class NoFilesTest : public ZelvaneTest, public ::testing::WithParamInterface<NothingToUpgrade> {};

TEST_P(NoFilesTest, WarnsAndKeepsTheWindowReady) {
  for (const std::wstring& f : GetParam().folders) folder().MakeFolders(f);
  Lay(GetParam().files);
  ASSERT_NO_FATAL_FAILURE(Launch());

  for (int attempt = 1; attempt <= 2; ++attempt) {  // the button stays usable: the warning comes again
    SCOPED_TRACE("press " + std::to_string(attempt));
    MessageBoxView box;
    if (attempt == 1) {  // Enter presses the default button, which has the focus
      ASSERT_TRUE(WaitUntil([&] { return app().FocusedControlId() == kRunButtonId; }, 5s));
      app().PressEnter();
      ASSERT_NO_FATAL_FAILURE(WaitForBox(box));
    } else {
      ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box, kBoxBound));
    }
    EXPECT_TRUE(ToldByTheWindow(box));
    EXPECT_EQ(box.text, L"No files were found") << box.Describe();
    EXPECT_TRUE(box.windowDisabled) << "the window takes input while the box is open";
    EXPECT_EQ(app().ControlText(kStatusLabelId), kIntroduction);
    ASSERT_NO_FATAL_FAILURE(Answer(IDOK));

    EXPECT_TRUE(app().WindowExists());
    EXPECT_EQ(app().ControlText(kStatusLabelId), kIntroduction);
    EXPECT_TRUE(WaitUntil([&] { return app().ControlEnabled(kRunButtonId); }, 5s)) << "Run stays disabled";
  }
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit(3));  // no profiles were found
  ExpectFiles(GetParam().files, "after two runs that found nothing");
}

const std::string kLegacy = Encode(Legacy({.seed = "elsewhere", .arrays = Arrays::None}));

INSTANTIATE_TEST_SUITE_P(
    E2e, NoFilesTest,
    ::testing::Values(
        NothingToUpgrade{"NoAppfilesFolder", {}, {}},
        NothingToUpgrade{"NoFormatsFolder", {L"appfiles"}, {{L"appfiles\\settings.qdx", kLegacy, false}}},
        NothingToUpgrade{"EmptyFormatsFolder", {L"appfiles\\formats"}, {}},
        NothingToUpgrade{"OnlyOtherFilesAndFolders",
                         {L"appfiles\\formats\\folder.qdx"},
                         {{kFormats + L"readme.txt", kLegacy, false},
                          {kFormats + L"profile.qdx.bak", kLegacy, false},
                          {kFormats + L"profile.qdxx", kLegacy, false},
                          {kFormats + L"archive\\inner.qdx", kLegacy, false},
                          {L"beside the tool.qdx", kLegacy, false}}}),
    [](const ::testing::TestParamInfo<NothingToUpgrade>& p) { return std::string(p.param.name); });

// ---- a whole run ----

std::vector<Profile> MixedProfiles() {
  const std::string plain = Encode(Legacy({.seed = "invoice", .arrays = Arrays::None}));
  return {
      {kFormats + L"Invoice.qdx", plain, true},
      {kFormats + L"Ünïcødé Prüfung €.qdx", Encode(Legacy({.seed = "accents", .arrays = Arrays::None})), true},
      {kFormats + L"UPPER CASE.QDX", Encode(Legacy({.seed = "upper", .arrays = Arrays::None})), true},
      {kFormats + L"rich arrays.qdx", Encode(Legacy({.seed = "rich"})), true},
      {kFormats + L"nul.qdx", Encode(Legacy({.seed = "nul", .arrays = Arrays::None})), true},  // device names are files here
      {kFormats + L"con.qdx", Encode(Legacy({.seed = "con"})), true},
      {kFormats + L"only text30.qdx", Encode(Legacy({"thirty", "", "t30", Arrays::None})), true},
      {kFormats + L"only text31.qdx", Encode(Legacy({"", "thirty-one", "t31", Arrays::None})), true},
      {kFormats + L"large.qdx", Encode(Legacy({.seed = "large", .arrays = Arrays::Large})), true},
      {kFormats + L"blank tail.qdx", Encode(Legacy({"", "", "blank", Arrays::None})), false},
      {kFormats + L"already upgraded.qdx", Upgraded(Encode(Legacy({.seed = "again"}))), false},
      {kFormats + L"current with text32.qdx", Encode(Current({.seed = "current"}, "new in 2.0.12", 7)), false},
      {kFormats + L"truncated.qdx", Truncated(Encode(Legacy({.seed = "cut"}))), false},
      {kFormats + L"not a profile.qdx", "This is not a profile at all.\r\n", false},
      {kFormats + L"empty.qdx", "", false},
      {kFormats + L"notes.txt", plain, false},
      {kFormats + L"Invoice.qdx.bak", plain, false},
      {kFormats + L"archive\\inner.qdx", plain, false},
      {L"appfiles\\beside formats.qdx", plain, false},
  };
}

// The same run in a plain folder and in one whose path has spaces and letters beyond ASCII.
class WholeRunTest : public ZelvaneTest, public ::testing::WithParamInterface<const wchar_t*> {
 protected:
  std::wstring FolderPrefix() const override { return GetParam(); }
};

TEST_P(WholeRunTest, UpgradesEachProfileAndKeepsTheToolWhenAnsweredNo) {
  const std::vector<Profile> profiles = MixedProfiles();
  Lay(profiles);
  ASSERT_NO_FATAL_FAILURE(Launch());

  // First the profiles left as they were, then the question.
  MessageBoxView box;
  ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
  EXPECT_TRUE(ToldByTheWindow(box));
  EXPECT_EQ(box.text.rfind(L"2 profiles were left exactly as they were, because they are damaged:", 0), 0u)
      << box.Describe();
  for (const wchar_t* damaged : {L"\ntruncated.qdx: its data ends inside a field\n",
                                 L"\nnot a profile.qdx: its data ends inside a field\n"})
    EXPECT_NE(box.text.find(damaged), std::wstring::npos) << box.Describe();
  EXPECT_EQ(app().ControlText(kStatusLabelId), L"Done");
  ExpectFiles(profiles, "while the report is open");
  ASSERT_NO_FATAL_FAILURE(Answer(IDOK));

  ASSERT_NO_FATAL_FAILURE(WaitForBox(box));
  EXPECT_EQ(box.title, L"Done") << box.Describe();
  EXPECT_EQ(box.text, L"Delete this tool?") << box.Describe();
  EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO})) << box.Describe();
  EXPECT_TRUE(box.ownedByWindow) << box.Describe();
  EXPECT_EQ(app().ControlText(kStatusLabelId), L"Done");
  EXPECT_FALSE(app().ControlEnabled(kRunButtonId));

  ASSERT_NO_FATAL_FAILURE(Answer(IDNO));
  EXPECT_TRUE(app().WindowExists());
  EXPECT_TRUE(app().Running());
  EXPECT_EQ(app().ControlText(kStatusLabelId), L"Done");
  EXPECT_FALSE(app().ControlEnabled(kRunButtonId));
  EXPECT_TRUE(folder().Exists(L"Zelvane.exe"));

  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit(4));  // finished, damaged profiles left as they were
  ExpectFiles(profiles, "after answering No and closing");
}

INSTANTIATE_TEST_SUITE_P(E2e, WholeRunTest, ::testing::Values(L"zelvane-e2e ", L"Quindrel Ünïcødé e2e "),
                         [](const ::testing::TestParamInfo<const wchar_t*>& p) {
                           return std::string(p.index == 0 ? "PlainFolder" : "FolderWithSpacesAndAccents");
                         });

// The tool removes its own file, whatever its name, and nothing beside it: saved as Quindrel.com,
// it must not touch the Quindrel.exe its name would suggest, nor the Zelvane.exe it was copied from.
// A read-only file goes too. What it removes is the running image itself: renamed while the question
// is open, with a newer build or any other file put at its old name, the renamed file goes, and what
// is at the old name is neither removed nor started. A removal that cannot be done is told in the
// window (the path, the step and the reason), no helper runs and the tool stays: a file another
// program holds, or, under Wine, which deletes through a handle by the name the file had when the
// handle was opened, a renamed image (Windows removes the renamed image itself).
struct RemovalCase {
  const char* name;
  const wchar_t* tool;             // the file the program is started from, beside Quindrel.exe
  bool readOnly = false;
  const wchar_t* renamedTo = L"";  // while the question is open, the running file is renamed so...
  bool putBuild = false;           // ...and at its old name a newer build is put, or else a text
  bool held = false;               // another program holds the tool's file without sharing its deletion
};
void PrintTo(const RemovalCase& c, std::ostream* out) { *out << c.name; }
class RemovalTest : public ZelvaneTest, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RemovalTest, RemovesItselfOnlyWhenAnsweredYes) {
  const RemovalCase& c = GetParam();
  const std::vector<Profile> profiles = {
      {kFormats + L"first.qdx", Encode(Legacy({.seed = "first", .arrays = Arrays::None})), true},
      {kFormats + L"second.qdx", Encode(Legacy({.seed = "second"})), true},
      {kFormats + L"blank.qdx", Encode(Legacy({"", "", "blank", Arrays::None})), false},
  };
  Lay(profiles);
  folder().Write(L"Quindrel.exe", "the Quindrel program");
  const std::wstring tool = c.tool, renamed = c.renamedTo, removed = renamed.empty() ? tool : renamed;
  if (tool != L"Zelvane.exe") folder().CopyIn(exe_, tool);
  ASSERT_TRUE(SetFileAttributesW(folder().Join(tool).c_str(), c.readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
  ASSERT_NO_FATAL_FAILURE(Launch(L"", tool));

  MessageBoxView box;
  ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
  ASSERT_EQ(box.text, L"Delete this tool?") << box.Describe();  // no damaged profile: no report first
  if (!renamed.empty()) {
    ASSERT_TRUE(MoveFileW(folder().Join(tool).c_str(), folder().Join(renamed).c_str())) << GetLastError();
    if (c.putBuild)
      folder().CopyIn(BuiltProgram(L"ZELVANE_VICTIM", ZELVANE_VICTIM_BUILT), tool);  // a program that removes what it is told to
    else
      folder().Write(tool, "not a program at all\r\n");
  }
  const std::optional<std::string> marker = folder().Read(tool);
  std::optional<testing::FileHold> held;
  if (c.held) held.emplace(folder().Join(tool), FILE_SHARE_READ);
  const std::wstring told = c.held ? folder().Join(tool) + L"\nCould not remove the program. " + Widen(SystemMessage(ERROR_SHARING_VIOLATION))
                            : !renamed.empty() && testing::UnderWine()
                                ? L"Could not remove the program. The file at this name is no longer the program that ran"
                                : L"";
  ASSERT_NO_FATAL_FAILURE(Answer(IDYES));
  if (!told.empty()) {  // the window tells, and ends once it is closed
    ASSERT_NO_FATAL_FAILURE(WaitForBox(box));
    held.reset();
    EXPECT_TRUE(ToldByTheWindow(box));
    EXPECT_EQ(box.text.rfind(L"Zelvane could not remove itself, and was left where it is.", 0), 0u) << box.Describe();
    EXPECT_NE(box.text.find(told), std::wstring::npos) << box.Describe();
    ASSERT_NO_FATAL_FAILURE(Answer(IDOK));
    EXPECT_EQ(app().ControlText(kStatusLabelId), L"Done");
    ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit(0));
  } else {  // the window closes itself
    EXPECT_TRUE(WaitUntil([&] { return !app().WindowExists(); }, kExitBound)) << "the window stayed open";
    EXPECT_EQ(app().WaitForExit(kExitBound), 0u) << "the program did not end, or failed";
  }
  EXPECT_TRUE(WaitUntil([&] { return folder().Exists(removed) == !told.empty(); }, kRemovalBound)) << Narrow(removed);
  EXPECT_TRUE(WaitUntil([&] { return app().LiveChildren().empty(); }, kRemovalBound))
      << "a process the program started is still running";
  EXPECT_EQ(FindWindowW(L"#32770", nullptr), nullptr) << "a box is open";
  EXPECT_TRUE(renamed.empty() || folder().Read(tool) == marker) << "the file put at the old name was changed or removed";
  std::vector<std::wstring> left = {L"appfiles", L"Quindrel.exe"}, listed = folder().List();
  for (const std::wstring& stays : {tool == L"Zelvane.exe" ? L"" : std::wstring(L"Zelvane.exe"), renamed.empty() ? L"" : tool,
                                    told.empty() ? L"" : removed})
    if (!stays.empty()) left.push_back(stays);
  std::sort(listed.begin(), listed.end());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(listed, left) << "something was removed or left beside appfiles";
  EXPECT_EQ(folder().Read(L"Quindrel.exe"), "the Quindrel program");
  ExpectFiles(profiles, "after answering Yes");
}

INSTANTIATE_TEST_SUITE_P(
    E2e, RemovalTest,
    ::testing::Values(RemovalCase{"AsZelvaneExe", L"Zelvane.exe"},
                      RemovalCase{"AsQuindrelComBesideQuindrelExe", L"Quindrel.com"},
                      RemovalCase{"ReadOnly", L"Zelvane.exe", true},
                      RemovalCase{"RenamedANewerBuildAtItsName", L"Zelvane.exe", false, L"Zelvane-old.exe", true},
                      RemovalCase{"RenamedATextAtItsName", L"Zelvane.exe", false, L"Zelvane-old.exe", false},
                      RemovalCase{"HeldByAnotherProgram", L"Zelvane.exe", false, L"", false, true}),
    [](const auto& p) { return std::string(p.param.name); });

// An image that the system lets be opened for deletion but then keeps (an immutable file, a
// read-only medium): once the program has ended, its helper says so in a box of its own, naming the
// file, and the file stays. Under Wine only (chattr); on Windows an image it refuses to delete is
// told by the window instead (RemovalTest's row HeldByAnotherProgram).
TEST_F(ZelvaneTest, AnImageTheSystemKeepsIsToldByTheHelper) {
  Lay({{kFormats + L"only.qdx", Encode(Legacy({.seed = "only", .arrays = Arrays::None})), true}});
  if (!Chattr(L"Zelvane.exe", "+i")) GTEST_SKIP() << "chattr is not to be had: Wine with root only";
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box;
  ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
  ASSERT_NO_FATAL_FAILURE(Answer(IDYES));
  EXPECT_EQ(app().WaitForExit(kExitBound), 0u);
  HWND told = nullptr;  // after the helper's ten seconds of waiting for the file to go
  EXPECT_TRUE(WaitUntil([&] { return (told = FindWindowW(L"#32770", kWideCaption.c_str())) != nullptr; }, 30s))
      << "the helper told nothing";
  std::wstring text(4096, L'\0');
  text.resize(static_cast<std::size_t>(GetDlgItemTextW(told, 0xFFFF, text.data(), 4096)));
  EXPECT_NE(text.find(folder().Join(L"Zelvane.exe") + L"\nWindows accepted its removal, but the file is still there."),
            std::wstring::npos) << Narrow(text);
  PostMessageW(told, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(folder().Exists(L"Zelvane.exe"));
}

// A log that fails in a window run (here made immutable once the program holds it): Run tells
// the failure and does not run without its log, however often it is pressed, and stays usable;
// once the log takes writes again, Run runs. Under Wine only (chattr).
TEST_F(ZelvaneTest, AWindowWhoseLogFailsDoesNotRunWithoutIt) {
  const std::vector<Profile> profiles = {{kFormats + L"legacy.qdx", kLegacy, true}};
  Lay(profiles);
  folder().Write(L"run.log", "");
  ASSERT_NO_FATAL_FAILURE(Launch(L"/log:\"" + folder().Join(L"run.log") + L"\""));
  if (!Chattr(L"run.log", "+i")) GTEST_SKIP() << "chattr is not to be had: Wine with root only";
  MessageBoxView box;
  for (int press = 1; press <= 2; ++press) {
    SCOPED_TRACE("press " + std::to_string(press));
    ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
    EXPECT_EQ(box.text.rfind(L"Zelvane could not write its log, so it did not start.\n\n" + folder().Join(L"run.log"), 0), 0u)
        << box.Describe();
    ASSERT_NO_FATAL_FAILURE(Answer(IDOK));
    EXPECT_TRUE(WaitUntil([&] { return app().ControlEnabled(kRunButtonId); }, 5s)) << "Run is no longer usable";
    EXPECT_EQ(folder().Read(kFormats + L"legacy.qdx"), kLegacy) << "a profile was touched without the log";
  }
  ASSERT_TRUE(Chattr(L"run.log", "-i"));
  immutable_.clear();
  ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
  EXPECT_EQ(box.text, L"Delete this tool?") << box.Describe();
  ASSERT_NO_FATAL_FAILURE(Answer(IDNO));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit(0));
  ExpectFiles(profiles, "after the run with its log");
  EXPECT_NE(folder().Read(L"run.log").value_or("").find("\r\nupgraded: legacy.qdx\r\n"), std::string::npos);
}

// ---- a failure ----

TEST_F(ZelvaneTest, StopsAtAProfileAnotherProgramHoldsOpen) {
  std::vector<Profile> profiles;
  for (int i = 1; i <= 7; ++i) {
    const std::string seed = "held " + std::to_string(i);
    profiles.push_back({kFormats + L"profile " + std::to_wstring(i) + L".qdx",
                        Encode(Legacy({.seed = seed, .arrays = i % 2 ? Arrays::None : Arrays::Rich})), false});
  }
  Lay(profiles);

  // The run goes through the files in the order the system lists them; the locked one is in the
  // middle of that order, so some are upgraded before it and some are left after it.
  const std::vector<std::wstring> order = folder().List(L"appfiles\\formats");
  ASSERT_EQ(order.size(), profiles.size());
  const std::wstring locked = order[3];
  for (Profile& p : profiles) {
    const std::wstring name = p.path.substr(kFormats.size());
    const auto at = std::find(order.begin(), order.end(), name) - order.begin();
    p.upgraded = at < 3;
  }

  std::optional<testing::FileHold> lock(std::in_place, folder().Join(kFormats + locked), 0);
  ASSERT_NO_FATAL_FAILURE(Launch());
  MessageBoxView box;
  ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
  EXPECT_TRUE(ToldByTheWindow(box));
  EXPECT_NE(box.text.find(locked), std::wstring::npos) << "the message does not name " << Narrow(locked) << ": "
                                                       << box.Describe();
  const std::wstring reason = Widen(SystemMessage(ERROR_SHARING_VIOLATION));
  ASSERT_FALSE(reason.empty());
  EXPECT_NE(box.text.find(reason), std::wstring::npos)
      << "the message does not give the system's reason \"" << Narrow(reason) << "\": " << box.Describe();
  EXPECT_EQ(app().ControlText(kStatusLabelId), locked) << "the label does not show the file in hand";

  EXPECT_NE(box.text.find(L"close Quindrel, then run Zelvane again"), std::wstring::npos) << box.Describe();

  ASSERT_NO_FATAL_FAILURE(Answer(IDOK));
  EXPECT_EQ(app().WaitForExit(kExitBound), 7u) << "no end after the error, or not the code a deployment tool retries on";

  // A check says so too, with the same code, and goes on past it.
  Start(L"/check /quiet", L"Zelvane.exe", folder().Join(L"output.txt"));
  EXPECT_EQ(app().WaitForExit(kRunBound), 7u);
  const std::string told = folder().Read(L"output.txt").value_or("");
  EXPECT_NE(told.find("\r\nin use by another program: " + Narrow(locked) + " (could not open the file: "), std::string::npos) << told;
  EXPECT_NE(told.find("Exit code 7: a profile is in use by another program: close Quindrel and run again.\r\n"),
            std::string::npos) << told;
  lock.reset();
  ExpectFiles(profiles, "after the failed run and the check");
  EXPECT_TRUE(folder().Exists(L"Zelvane.exe"));
}

// ---- closing the window during a run ----

// The window closed while a run goes: the close is posted right behind the click on Run, so the
// run's first chance to take events takes it, whatever the machine's load, and the run stops once
// the profile in hand, the first listed, is finished.
TEST_F(ZelvaneTest, ClosingTheWindowDuringARunFinishesTheFileInHandOnly) {
  std::vector<Profile> profiles;
  for (int i = 1; i <= 30; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"bulk %03d.qdx", i);
    profiles.push_back({kFormats + name, Encode(Legacy({.seed = "bulk " + std::to_string(i)})), false});
  }
  Lay(profiles);
  const std::vector<std::wstring> order = folder().List(L"appfiles\\formats");
  ASSERT_EQ(order.size(), profiles.size());
  for (Profile& p : profiles) p.upgraded = p.path == kFormats + order.front();

  ASSERT_NO_FATAL_FAILURE(Launch());
  app().Click(kRunButtonId);
  app().CloseWindow();
  EXPECT_EQ(app().WaitForExit(kRunBound), 6u)  // stopped before the end
      << "the program did not end after its window was closed, or not so" << (app().MessageBoxOpen() ? "; a message box is open" : "");
  EXPECT_TRUE(WaitUntil([&] { return app().LiveChildren().empty(); }, kExitBound));
  ExpectFiles(profiles, "after the window was closed during the run");
}

// ---- from the command line ----

const std::string kCommandLineLegacy = Encode(Legacy({.seed = "unattended"}));
std::vector<Profile> UnattendedProfiles(bool upgraded, bool withDamaged = true) {
  const std::string plain = Encode(Legacy({.seed = "plain", .arrays = Arrays::None}));
  std::vector<Profile> profiles = {{kFormats + L"legacy.qdx", kCommandLineLegacy, upgraded},
                                   {kFormats + L"current.qdx", Upgraded(plain), false},
                                   {kFormats + L"blank.qdx", Encode(Legacy({"", "", "blank", Arrays::None})), false}};
  if (withDamaged) profiles.push_back({kFormats + L"damaged.qdx", Truncated(plain), false});
  return profiles;
}

struct CommandLineCase {
  const char* name;
  std::wstring arguments;  // {Q} stands for the Quindrel folder, {L} for the log in it
  const wchar_t* from;     // the tool's folder, relative to the Quindrel folder (empty: that one)
  unsigned long exitCode;
  bool upgrades;                     // whether legacy.qdx ends upgraded
  std::vector<std::string> lines;    // lines the report holds, in any order
  std::vector<std::wstring> absent = {};  // files that must not be there afterwards, relative to {Q}
  bool withDamaged = true;           // the formats folder holds a damaged profile
  ZelvaneProcess::Name named = ZelvaneProcess::Name::Quoted;  // how the command line names the program
};
void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << c.name; }

class CommandLineTest : public ZelvaneTest, public ::testing::WithParamInterface<CommandLineCase> {};

// Run as a script would, with the exact command line a batch file or an installer passes: no
// window, no box, the result in the exit code, the report written to the redirected output and
// appended to the log; a bad command line touches nothing and creates nothing.
TEST_P(CommandLineTest, RunsUnattended) {
  const CommandLineCase& c = GetParam();
  const std::vector<Profile> profiles = UnattendedProfiles(c.upgrades, c.withDamaged);
  Lay(profiles);
  std::vector<std::uint64_t> written;
  for (const Profile& p : profiles) written.push_back(folder().WriteTime(p.path));
  std::wstring arguments = c.arguments;
  for (const auto& [mark, value] : {std::pair{L"{Q}", folder().Path()}, std::pair{L"{L}", folder().Join(L"run.log")}})
    for (std::size_t at; (at = arguments.find(mark)) != std::wstring::npos;) arguments.replace(at, 3, value);
  const std::wstring tool = *c.from ? std::wstring(c.from) + L"\\Zelvane.exe" : L"Zelvane.exe";
  if (*c.from) {
    folder().MakeFolders(c.from);
    folder().CopyIn(exe_, tool);
  }
  Start(arguments, tool, folder().Join(L"output.txt"), c.named);
  EXPECT_EQ(app().WaitForExit(kRunBound), c.exitCode) << (app().MessageBoxOpen() ? "a message box is open" : "");

  const std::string report = folder().Read(L"output.txt").value_or("");
  if (c.arguments.find(L"{L}") != std::wstring::npos) {
    EXPECT_EQ(folder().Read(L"run.log"), report) << "the log differs from the redirected output";
  }
  EXPECT_NE(report.find("  Zelvane"), std::string::npos) << report;
  for (const std::string& line : c.lines) EXPECT_NE(report.find(line + "\r\n"), std::string::npos) << line << "\n" << report;
  for (const std::wstring& path : c.absent) EXPECT_FALSE(folder().Exists(path)) << Narrow(path) << " was created";
  ExpectFiles(profiles, "after the run");
  for (std::size_t i = 0; i < profiles.size(); ++i)
    if (!profiles[i].upgraded) {
      EXPECT_EQ(written[i], folder().WriteTime(profiles[i].path)) << Narrow(profiles[i].path);
    }
}

const std::string kBadLine = "the command line is not right: ";
const std::vector<std::wstring> kDevices = {L"nul",     L"con",     L"nul:",   L"con:",
                                            L"run.log ", L"elsewhere\\run.log", L"appfiles\\formats\\run.qdx",
                                            L"appfiles\\formats\\new.qdx"};

INSTANTIATE_TEST_SUITE_P(
    E2e, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"Quiet", L"/quiet /log:\"{L}\"", L"", 4, true,
                        {"\nupgraded: legacy.qdx", "\ndamaged, left as it was: damaged.qdx (its data ends inside a field)"}},
        CommandLineCase{"CheckChangesNothing", L"/Check /QUIET /log:\"{L}\"", L"", 5, false,
                        {"\nwould be upgraded: legacy.qdx"}},
        CommandLineCase{"FolderFromElsewhere", L"/quiet /folder:\"{Q}\" /log:\"{L}\"", L"elsewhere", 4, true,
                        {"\nupgraded: legacy.qdx"}},
        // A batch file's "%~dp0" ends in a backslash, right before the closing quote.
        CommandLineCase{"BatchFileFolder", L"/folder:\"{Q}\\\" /quiet", L"elsewhere", 0, true,
                        {"\nupgraded: legacy.qdx", "Exit code 0: finished: every profile was upgraded or needed nothing."}, {}, false},
        CommandLineCase{"BadSwitch", L"/quiet /log:\"{L}\" /upgrade-all", L"", 2, false,
                        {kBadLine + "\"/upgrade-all\" is not a switch Zelvane knows. Nothing was done. Exit code 2."}},
        CommandLineCase{"MissingFolder", L"/quiet /folder:\"{Q}\\missing\" /log:\"{L}\"", L"elsewhere", 2, false,
                        {"does not exist. Nothing was done. Exit code 2."}},
        CommandLineCase{"LogAmongTheProfiles", L"/quiet /log:\"{Q}\\appfiles\\formats\\run.qdx\"", L"", 2, false,
                        {"could be taken for a profile. Nothing was done. Exit code 2."}, kDevices},
        CommandLineCase{"LogToNul", L"/quiet /log:nul", L"", 4, true, {"\nupgraded: legacy.qdx"}, kDevices},
        CommandLineCase{"LogToCon", L"/quiet /log:con", L"", 2, false, {"is a device, not a file. Nothing was done. Exit code 2."}, kDevices},
        CommandLineCase{"LogIsTheTool", L"/quiet /log:\"{Q}\\zelvane.EXE\"", L"", 2, false, {"is Zelvane itself, which is never written to. Nothing was done. Exit code 2."}},
        // Typed paths mean what Windows means by them: a trailing blank is no part of a name.
        CommandLineCase{"TrailingBlanks", L"/quiet /folder:\"{Q} \" /log:\"{L} \"", L"elsewhere", 4, true, {"\nupgraded: legacy.qdx"}, kDevices},
        // A launcher that names the module apart and leaves the program's name out of the line.
        CommandLineCase{"CheckWithoutTheProgramsName", L"/check /quiet /log:\"{L}\"", L"", 5, false, {"\nwould be upgraded: legacy.qdx"}, {}, true, ZelvaneProcess::Name::LeftOut},
        // A launcher that did not quote the program's path, which holds blanks ("zelvane-e2e 123\").
        CommandLineCase{"UnquotedProgramPath", L"/check /quiet", L"", 5, false, {"\nwould be upgraded: legacy.qdx"}, {},
                        true, ZelvaneProcess::Name::Unquoted},
        CommandLineCase{"TheHelpersSwitchByHand", L"/zelvane-remove-after 1 2 x /quiet /log:\"{L}\"", L"", 2, false, {kBadLine + "\"/zelvane-remove-after\" is not a switch Zelvane knows. Nothing was done. Exit code 2."}}),
    [](const ::testing::TestParamInfo<CommandLineCase>& p) { return std::string(p.param.name); });

// Quindrel installed under Program Files: Windows keeps each user's own copies of the profiles
// they saved with an older Quindrel (file virtualisation), and those are what their Quindrel reads.
// A run that Windows does not virtualise (every run under Wine is, on Windows, an administrator's
// elevated run or SYSTEM's) checks and upgrades the installed profiles and every user's copies,
// naming each copy with its user, and names the users whose copies it cannot reach. The users are
// the system's list of profiles, to which the test adds two: one whose profile folder is there,
// one whose folder is not.
class VirtualStoreTest : public ZelvaneTest {
 protected:
  std::wstring FolderPrefix() const override {
    wchar_t programFiles[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
    return std::wstring(programFiles) + L"\\Quindrel e2e ";
  }
  void TearDown() override {
    for (const wchar_t* sid : kSids) RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kProfileList + std::wstring(L"\\") + sid).c_str());
    ZelvaneTest::TearDown();
  }
  static constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
  static constexpr const wchar_t* kSids[] = {L"S-1-5-21-7-7-7-1001", L"S-1-5-21-7-7-7-1002"};
};

TEST_F(VirtualStoreTest, AnAdministratorsRunReachesEveryUsersCopies) {
  if (!testing::Elevated()) GTEST_SKIP() << "needs an elevated run (an administrator's), as every run under Wine is";
  wchar_t home[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"USERPROFILE", home, MAX_PATH), 0u);
  const std::wstring me = home, users = me.substr(0, me.rfind(L'\\'));
  const std::unique_ptr<Folder> other = std::make_unique<Folder>(users + L"\\zelvane-e2e other ");
  const std::wstring gone = users + L"\\zelvane-e2e gone";
  for (const auto& [sid, profile] : {std::pair{kSids[0], other->Path()}, std::pair{kSids[1], gone}}) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (kProfileList + std::wstring(L"\\") + sid).c_str(), L"ProfileImagePath",
                              REG_EXPAND_SZ, profile.c_str(), static_cast<DWORD>((profile.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  // The copies: the formats folder's path after its drive, below each user's VirtualStore.
  const std::wstring part = folder().Join(kFormats).substr(2);
  const std::unique_ptr<Folder> mine = Folder::Existing(me + L"\\AppData\\Local\\VirtualStore" + part);
  const std::unique_ptr<Folder> theirs = Folder::Existing(other->Path() + L"\\AppData\\Local\\VirtualStore" + part);
  const std::unique_ptr<Folder> myStore = Folder::Existing(me + L"\\AppData\\Local\\VirtualStore" +
                                                           folder().Path().substr(2));
  const std::vector<Profile> profiles = UnattendedProfiles(true, false);
  Lay(profiles);
  const std::string legacy = Encode(Legacy({.seed = "a user's own"}));
  mine->Write(L"mine.qdx", legacy);
  theirs->Write(L"theirs.qdx", legacy);
  const std::string meName = Narrow(me.substr(me.rfind(L'\\') + 1)), otherName = Narrow(other->Path().substr(users.size() + 1));

  for (const bool check : {true, false}) {
    SCOPED_TRACE(check ? "checked" : "upgraded");
    Start(check ? L"/check /quiet" : L"/quiet", L"Zelvane.exe", folder().Join(L"output.txt"));
    EXPECT_EQ(app().WaitForExit(kRunBound), check ? 5u : 0u);
    const std::string told = folder().Read(L"output.txt").value_or("");
    const std::string done = check ? "would be upgraded: " : "upgraded: ";
    for (const std::string& line : {done + "legacy.qdx", done + "mine.qdx (" + meName + "'s copy)",
                                    done + "theirs.qdx (" + otherName + "'s copy)",
                                    "not reached: the copies of zelvane-e2e gone (its profile folder " + Narrow(gone) +
                                        " is not on this machine"})
      EXPECT_NE(told.find("\n" + line), std::string::npos) << line << "\n" << told;
    EXPECT_NE(told.find("and of the copies Windows keeps of it for its users: "), std::string::npos) << told;
    for (const auto& [copy, name] : {std::pair{mine.get(), L"mine.qdx"}, std::pair{theirs.get(), L"theirs.qdx"}})
      EXPECT_TRUE(SameBytes(copy->Read(name), check ? legacy : Upgraded(legacy))) << Narrow(name);
    ExpectFiles(check ? UnattendedProfiles(false, false) : profiles, check ? "after the check" : "after the run");
  }
  testing::RemoveTree(myStore->Path());
}

// Zelvane.exe /quiet started over 300 profiles with long names (their report lines fill a pipe
// soon), its standard output a pipe of 4 KiB that nobody reads, as a script that waits for the
// program before it reads does; with `full`, a pipe that holds all it can before the program starts.
class UnreadOutputTest : public ZelvaneTest {
 protected:
  void StartUnread(const std::wstring& arguments, bool full = false) {
    for (int i = 0; i < 300; ++i)
      profiles_.push_back({kFormats + std::wstring(150, L'p') + std::to_wstring(1000 + i) + L".qdx", kLegacy, false});
    Lay(profiles_);
    OwnedHandle write;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    ASSERT_TRUE(CreatePipe(read_.Receive(), write.Receive(), &inheritable, 4096));
    SetHandleInformation(read_.Get(), HANDLE_FLAG_INHERIT, 0);
    DWORD noWait = PIPE_NOWAIT, wait = PIPE_WAIT, put = 0;  // filled without waiting, then written to as any pipe
    ASSERT_TRUE(!full || SetNamedPipeHandleState(write.Get(), &noWait, nullptr, nullptr)) << GetLastError();
    while (full && WriteFile(write.Get(), std::string(512, '-').data(), 512, &put, nullptr) && put == 512) {}
    ASSERT_TRUE(!full || SetNamedPipeHandleState(write.Get(), &wait, nullptr, nullptr)) << GetLastError();
    program_.emplace(testing::Process::Start{.exe = folder().Join(L"Zelvane.exe"),
                                             .commandLine = L"\"" + folder().Join(L"Zelvane.exe") + L"\" /quiet " + arguments,
                                             .folder = folder().Path(),
                                             .output = write.Get()});
  }
  void TearDown() override {
    program_.reset();  // ended before its folder goes
    ZelvaneTest::TearDown();
  }
  std::string Unread() const {  // what reached the pipe, read without waiting on a writer that is left
    std::string output;
    char buffer[4096];
    for (DWORD n = 0, got = 0; PeekNamedPipe(read_.Get(), nullptr, 0, nullptr, &n, nullptr) && n > 0 &&
                                ReadFile(read_.Get(), buffer, std::min<DWORD>(n, sizeof buffer), &got, nullptr);)
      output.append(buffer, got);
    return output;
  }
  std::optional<DWORD> Ended(DWORD bound) const { return program_->Wait(std::chrono::milliseconds(bound)); }

  std::vector<Profile> profiles_;
  OwnedHandle read_;
  std::optional<testing::Process> program_;
};

// The run ends by itself, with its exit code, and its log is whole; it says that standard output
// ends early.
TEST_F(UnreadOutputTest, ARunThatNobodyReadsEndsWithItsLogWhole) {
  ASSERT_NO_FATAL_FAILURE(StartUnread(L"/log:\"" + folder().Join(L"run.log") + L"\""));
  EXPECT_EQ(Ended(60000), 0u) << "the run waited for its reader";
  const std::string log = folder().Read(L"run.log").value_or("");
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = log.find("\r\nupgraded: ", at)) != std::string::npos; ++at) ++lines;
  EXPECT_EQ(lines, profiles_.size()) << log.substr(0, 300);
  EXPECT_NE(log.find("\r\nSummary: 300 profiles: 300 upgraded. Exit code 0"), std::string::npos);
  EXPECT_TRUE(log.ends_with("\r\nStandard output was not read, so the report there ends early; this log holds all of it.\r\n"))
      << log.substr(log.size() - std::min<std::size_t>(log.size(), 300));
  EXPECT_EQ(log.rfind(Unread(), 0), 0u) << "the pipe holds other than the log's start";
}

// /? with /quiet writes the usage to standard output, and waits, as a run does, for its reader to
// take it (here one that reads only once the program has had a second to write it).
TEST_F(UnreadOutputTest, TheUsageWaitsForItsReader) {
  ASSERT_NO_FATAL_FAILURE(StartUnread(L"/?", true));
  Sleep(1000);
  std::string output;
  EXPECT_TRUE(WaitUntil([&] { return (output += Unread(), Ended(10).has_value()); }, 10s));
  output += Unread();
  EXPECT_EQ(Ended(0), 0u);
  EXPECT_NE(output.find("-Zelvane " + std::string(Version()) + " upgrades"), std::string::npos) << output.substr(output.size() - 300);
  EXPECT_TRUE(output.ends_with("\n7 \xE2\x80\x93 a profile is in use by another program: close Quindrel and run again\n")) << output;
}

// A quiet run that crashes (here a thread of it made to start at address 0, from outside, while it
// waits for its reader) shows no box, starts no debugger and ends with the fault's own code. Its
// report so far is all that reached the pipe.
TEST_F(UnreadOutputTest, AQuietRunThatCrashesShowsNothingAndEndsWithTheFaultsCode) {
  ASSERT_NO_FATAL_FAILURE(StartUnread(L""));
  DWORD waiting = 0;  // the report's heading is written once the run is under way
  EXPECT_TRUE(WaitUntil([&] { return PeekNamedPipe(read_.Get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0; }, kRunBound));
  const OwnedHandle thread(CreateRemoteThread(program_->Handle(), nullptr, 0, nullptr, nullptr, 0, nullptr));
  EXPECT_TRUE(thread.Valid()) << GetLastError();
  const std::optional<DWORD> code = Ended(20000);
  EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)) << "the program did not end with its fault";
  const std::string output = Unread();
  EXPECT_EQ(output.find("  Zelvane "), 19u) << output.substr(0, 200);
  EXPECT_EQ(output.find("Summary:"), std::string::npos) << "the run ended before the crash";
  EXPECT_EQ(output.find("nhandled"), std::string::npos) << "a crash report reached the output:\n" << output;
  EXPECT_EQ(FindWindowW(L"#32770", nullptr), nullptr) << "a box is open";
}

// Without /quiet, a bad command line, /? and what a check found are told in a box (/? with /quiet
// goes to standard output: UnreadOutputTest); /folder: points the window at another Quindrel folder.
TEST_F(ZelvaneTest, TheWindowTakesTheCommandLine) {
  const std::vector<Profile> profiles = UnattendedProfiles(true);
  Lay(profiles);
  const struct {
    const wchar_t* arguments;
    std::wstring told;  // how the box, or standard output, begins
    unsigned long exitCode;
  } lines[] = {{L"/upgrade-all", L"\"/upgrade-all\" is not a switch Zelvane knows.\n\nZelvane ", 2},
               {L"/log:con", L"The log \"con\" is a device, not a file.\n\nZelvane ", 2},
               {L"/?", L"Zelvane " + Widen(Version()) + L" upgrades", 0},
               {L"/check", L"Zelvane checked 4 profiles in " + folder().Join(kFormats), 5}};
  MessageBoxView box;
  for (const auto& line : lines) {
    SCOPED_TRACE(Narrow(line.arguments));
    Start(line.arguments, L"Zelvane.exe", folder().Join(L"output.txt"));
    ASSERT_NO_FATAL_FAILURE(WaitForBox(box, kStartBound));
    EXPECT_EQ(box.text.rfind(line.told, 0), 0u) << box.Describe();
    ASSERT_NO_FATAL_FAILURE(Answer(IDOK));
    EXPECT_EQ(app().WaitForExit(kExitBound), line.exitCode);
    if (line.exitCode == 2) {  // a refused line starts no run: no report's heading
      EXPECT_EQ(folder().Read(L"output.txt").value_or("").find("upgrade of"), std::string::npos);
    }
  }

  folder().MakeFolders(L"elsewhere");
  folder().CopyIn(exe_, L"elsewhere\\Zelvane.exe");
  ASSERT_NO_FATAL_FAILURE(Launch(L"/folder:\"" + folder().Path() + L"\"", L"elsewhere\\Zelvane.exe"));
  ASSERT_NO_FATAL_FAILURE(RunAndWaitForBox(box));
  EXPECT_NE(box.text.find(L"damaged.qdx: its data ends inside a field"), std::wstring::npos) << box.Describe();
  ASSERT_NO_FATAL_FAILURE(Answer(IDOK));
  ASSERT_NO_FATAL_FAILURE(WaitForBox(box));
  EXPECT_EQ(box.text, L"Delete this tool?") << box.Describe();
  ASSERT_NO_FATAL_FAILURE(Answer(IDNO));
  ASSERT_NO_FATAL_FAILURE(CloseAndExpectExit(4));
  ExpectFiles(profiles, "after a run from elsewhere");
}

}  // namespace
}  // namespace zelvane::e2e
