// An upgrade run over 10,000 small legacy profiles against a floor measured in the same run: a
// minimal loop making the system calls any in-place upgrade needs per file (open for reading and
// writing, read, write 3 bytes, close) over an identical fresh set of files, after listing the
// folder once with readdir.
// Prints both medians and their ratio (target: at most 1.25). Every repetition works on files
// created afresh, since an upgraded profile is skipped by the next run.
//
// Usage: run_bench [--files N] [--reps N]

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/platform.h"
#include "testing/files.h"
#include "testing/forwarding_platform.h"
#include "testing/profile_records.h"
#include "testing/record_reader.h"
#include "testing/sample_profiles.h"
#include "upgrade/command_line_checks.h"
#include "upgrade/unattended.h"

using namespace zelvane;
using namespace zelvane::bench;

namespace {

// The system's platform, but running from `folder`; the report a redirected standard output
// would get is made, and counted instead.
class FolderPlatform : public testing::ForwardingPlatform {
 public:
  explicit FolderPlatform(std::string folder) : folder_(std::move(folder)) {}
  std::string ProgramFolder() override { return folder_; }
  void WriteToStandardOutput(std::string_view text) override { reported += text.size(); }
  std::size_t reported = 0;

 private:
  std::string folder_;
};

std::string NameOf(std::size_t i) {
  char name[32];
  std::snprintf(name, sizeof name, "profile%05zu.qdx", i);
  return name;
}

void CreateProfiles(const std::string& folder, const std::vector<std::string>& contents) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (std::size_t i = 0; i < contents.size(); ++i) testing::WriteBytes(folder + "/" + NameOf(i), contents[i]);
}

void Fail(const std::string& what) {
  std::fprintf(stderr, "run_bench: %s\n", what.c_str());
  std::exit(1);
}

// The floor: list the folder, then per file open it for reading, read it, close it, open it again
// for writing and write 3 bytes, close it: a profile is opened for writing only to be changed.
std::size_t MinimalLoop(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) Fail("cannot list " + folder);
  while (const dirent* entry = ::readdir(dir))
    if (entry->d_name[0] != '.' && EndsWithNoCase(entry->d_name, ".qdx")) names.emplace_back(entry->d_name);
  ::closedir(dir);

  static char buffer[1 << 16];
  static const char tail[3] = {0, 0, 0};
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open " + path);
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 || n < 0 || ::pwrite(fd, tail, sizeof tail, n) != 3) Fail("cannot write to " + path);
    ::close(fd);
  }
  return names.size();
}

// Every profile now holds a whole 2.0.12 record, three bytes longer than before.
void CheckUpgraded(const std::string& folder, const std::vector<std::string>& contents) {
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const std::string data = testing::ReadBytes(folder + "/" + NameOf(i));
    CurrentProfileRecord record;
    RecordReader reader(data);
    if (data != samples::Upgraded(contents[i]) ||
        reader.ReadRecord(CurrentProfileRecord::layout, record) != ReadEnd::Complete)
      Fail(NameOf(i) + " was not upgraded");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto files = static_cast<std::size_t>(Option(argc, argv, "--files", 10000));
  const int reps = std::max(1, static_cast<int>(Option(argc, argv, "--reps", 5)));

  std::vector<std::string> contents(files);
  std::size_t total = 0;
  for (std::size_t i = 0; i < files; ++i) {
    contents[i] = samples::Encode(samples::Legacy({.seed = std::to_string(i)}));
    total += contents[i].size();
  }

  const testing::TempFolder root("zelvane-run-bench-");
  FolderPlatform platform(testing::Utf8(root.Path()));
  CommandLine quiet;
  quiet.quiet = true;
  const std::string formats = FormatsFolder(platform);  // <root>/appfiles/formats/
  const std::string floorFolder = root.File("floor");

  Timings run, floor;
  for (int rep = -1; rep < reps; ++rep) {  // rep -1 warms the caches and is not counted
    CreateProfiles(formats, contents);
    int code = -1;
    const double r = SecondsOf([&] {
      ReportWriter writer(platform);
      std::string box;
      code = RunUnattended(platform, writer, quiet, box);
    });
    if (code != kExitDone || platform.reported == 0) Fail("the run did not finish");
    if (rep == -1) CheckUpgraded(formats, contents);

    CreateProfiles(floorFolder, contents);
    std::size_t handled = 0;
    const double f = SecondsOf([&] { handled = MinimalLoop(floorFolder); });
    if (handled != files) Fail("the minimal loop missed files");
    if (rep >= 0) {
      run.seconds.push_back(r);
      floor.seconds.push_back(f);
    }
  }

  std::printf("upgrade run over %zu legacy profiles of %zu bytes on average, median of %d (min in brackets)\n",
              files, files ? total / files : 0, reps);
  std::printf("  floor    readdir; open, read, close; open, write 3, close  %7.1f ms [%7.1f]  %5.1f us/file\n",
              floor.Median() * 1e3, floor.Min() * 1e3, floor.Median() * 1e6 / static_cast<double>(files));
  std::printf("  run      UpgradeRun as /quiet runs it                           %7.1f ms [%7.1f]  %5.1f us/file  ratio %.2f\n",
              run.Median() * 1e3, run.Min() * 1e3, run.Median() * 1e6 / static_cast<double>(files),
              run.Median() / floor.Median());
  return 0;
}
