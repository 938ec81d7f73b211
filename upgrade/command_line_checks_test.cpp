// What the tool checks of its command line before a run: here, where the log may be.

#include "upgrade/command_line_checks.h"

#include <gtest/gtest.h>

#include <iostream>

#include "testing/files.h"
#include "testing/recording_platform.h"

namespace zelvane {
namespace {

using namespace zelvane::testing;

// `link`, made a link to `target`; empty, and named in `unmade`, where the system cannot make it.
std::string Linked(const std::string& target, const std::string& link, Link kind, std::string& unmade) {
  if (MakeLink(FromUtf8(target), FromUtf8(link), kind)) return link;
  unmade += " " + link + ";";
  return {};
}

// A log is a file of its own: a device, a stream, a file in or below the folder of the profiles
// (a user's copies too), one that leads there through a link, the program itself, a link or a file
// with another name too, and a file that cannot be created are refused, whatever else is wrong with
// the line; nothing is written to them, and what was created for them is removed.
TEST(CommandLineChecksTest, ALogIsAFileOfItsOwn) {
  const TempFolder top;
  RecordingPlatform platform;
  const char s = platform.Separator();
  const std::string base = Utf8(top.Path()) + s, formats = base + "appfiles" + s + "formats" + s, alice = base + "alice" + s;
  platform.programFolder = Utf8(top.Path());
  platform.programFile = base + "Zelvane.exe";  // a stand-in: the running test's own file could not be unlinked again
  const std::string profile = formats + "p3.qdx", program = platform.programFile, kept[] = {profile, base + "outside.txt", base + "elsewhere.txt"};
  for (const std::string& folder : {formats + "sub", alice}) std::filesystem::create_directories(FromUtf8(folder));
  for (const std::string& file : {profile, formats + "p4.qdx", base + "outside.txt", base + "elsewhere.txt", base + "nothing.txt", program})
    WriteBytes(FromUtf8(file), "a file");
  std::string unmade;
  // Alice's copies, and those of a user out of reach, whose folder cannot be listed.
  platform.copies = FolderCopies{false, {{"alice", alice, ""}, {"carol", base + "carol" + s, "its copies could not be opened: Access is denied."}}};
  platform.failOn = [&](const std::string& call, const std::string& folder) {
    if (call == "list" && folder == base + "carol" + s) throw PlatformError("list the folder", folder, "Access is denied.");
  };
  const struct {
    std::string log;
    std::string error;  // a fault already found on the line
    std::string fault;  // what the refusal says; empty: the log is taken
  } cases[] = {
      {base + "run.log", "", ""},
      {"nul:", "", ""},
      {base + "missing" + s + "run.log", "", "cannot be written: could not open the file for appending."},
      {formats + "run.log", "", "is in the folder of the profiles"},
      {formats + "sub" + s + "run.log", "", "is in the folder of the profiles"},
      {alice + "run.log", "", "is in the folder of the profiles, \"" + alice + "\""},
      {Linked(formats, base + "linked formats", Link::ToFolder, unmade) + s + "run.log", "", "leads"},
      {Linked(alice, base + "linked alice", Link::ToFolder, unmade) + s + "run.log", "", "leads"},
      // A machine's run (Wine's) refuses a path with a link in it before it looks at what it leads to.
      {Linked(base, base + "linked base", Link::ToFolder, unmade) + s + "Zelvane.exe", "",
       s == '\\' ? "leads to" : "is Zelvane itself"},
      {program, "", "is Zelvane itself, which is never written to."},
      {base + "con", "\"/x\" is not a switch Zelvane knows.", "\"/x\" is not a switch Zelvane knows."},
      {"con:", "", "is a device, not a file."},
      {base + "run.log:s", "", "names a stream of a file (a colon after the drive), not a file."},
      {Linked(profile, base + "hard to a profile.log", Link::Hard, unmade), "", "has more than one name"},
      {Linked(formats + "p4.qdx", base + "symbolic to a profile.log", Link::ToFile, unmade), "", "name the file itself"},
      {Linked(base + "outside.txt", base + "hard to a file.log", Link::Hard, unmade), "", "has more than one name"},
      {Linked(base + "elsewhere.txt", base + "symbolic to a file.log", Link::ToFile, unmade), "", "name the file itself"},
      {Linked(base + "nothing.txt", base + "symbolic to nothing.log", Link::ToFile, unmade), "", "name the file itself"},
  };
  std::filesystem::remove(Literal(FromUtf8(base + "nothing.txt")));  // its link now leads to nothing
  if (!unmade.empty()) std::cout << "rows not run, since the system could not make the links" << unmade << "\n";
  for (const auto& c : cases) {
    if (c.log.empty()) continue;
    CommandLine line;
    line.log = c.log;
    line.error = c.error;
    ReportWriter writer(platform);
    const std::string fault = PrepareCommandLine(platform, line, writer);
    EXPECT_EQ(fault.empty(), c.fault.empty()) << c.log << ": " << fault;
    EXPECT_NE(fault.find(c.fault), std::string::npos) << c.log << ": " << fault;
    EXPECT_EQ(line.log.has_value(), c.fault.empty() && c.log != "nul:") << c.log;
  }
  for (const std::string& file : kept) EXPECT_EQ(ReadBytes(FromUtf8(file)), "a file") << file;
  for (const std::string& made : {formats + "run.log", formats + "sub" + s + "run.log", base + "con", base + "missing",
                                  base + "nothing.txt", alice + "run.log"})
    EXPECT_FALSE(std::filesystem::exists(Literal(FromUtf8(made)))) << made;
}

}  // namespace
}  // namespace zelvane
