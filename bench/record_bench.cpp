// Upgrading one large profile against reading it once, and peak memory, for profiles of every
// shape.
//
// For each shape, times:
//   read      the whole file read once, front to back, through a buffer the size of the
//             upgrade's (the floor);
//   hops      for a shape made of one array's elements: a loop that only hops over the elements'
//             fields, from one text's length to the next field, in memory. A walk over tiny texts
//             is a chain of such dependent loads, whatever the reading costs; its floor is the
//             read and the hops;
//   upgrade   ProfileUpgrader::Upgrade: open, walk the legacy record, compare what follows it,
//             write the three bytes, close (the file is cut back to its size between repetitions);
// and prints the medians and their ratios (targets: at most 1.2x the read for a realistic
// profile, at most 2x for every shape, and at most 1.5x the read and the hops for a shape of tiny
// fields). For the realistic profile it also times the record-value path (ReadRecord, ToCurrent,
// EncodeRecord on the whole file in memory), for reference.
// Peak memory is the peak RSS (VmHWM) of a child process doing one thing: nothing (the baseline),
// reading a 100-byte file whose array header claims 4,294,967,295 elements, and upgrading each
// shape (target: within 4 MiB of the idle process for every shape).
//
// Usage: record_bench [--mib N] [--reps N] [--sparse-gib N]
//        record_bench --save-realistic PATH [--mib N]    (writes the profile for a profiler)

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/platform.h"
#include "testing/files.h"
#include "testing/profile_records.h"
#include "testing/record_reader.h"
#include "testing/record_writer.h"
#include "testing/sample_profiles.h"
#include "upgrade/profile_upgrader.h"

using namespace zelvane;
using namespace zelvane::bench;
using namespace zelvane::samples;

namespace {

// A legacy profile whose BlockA holds, in its array `array`, about `mib` MiB of elements encoded
// as `element`, written without building their values; and where the elements lie.
struct ArrayProfile {
  ArrayProfile(std::size_t array, double mib, const std::string& element) {
    const auto count = static_cast<std::uint32_t>(mib * 1024 * 1024 / static_cast<double>(element.size()));
    const AroundElements split =
        SplitAtArray(Legacy({.arrays = Arrays::None}), LegacyProfileRecord::BlockA, array, {{{count, 0}}});
    bytes = split.head;
    bytes.reserve(bytes.size() + count * element.size() + split.tail.size());
    for (std::uint32_t i = 0; i < count; ++i) bytes += element;
    elements = std::string_view(bytes).substr(split.head.size(), count * element.size());
    bytes += split.tail;
  }
  std::string bytes;
  std::string_view elements;  // into `bytes`
};

// Hops over `elements`, each of the fields `kinds` (T a text, B a byte) and nothing else: where
// each field ends, from its own bytes, with no check at all. Returns where the last one ends.
std::size_t Hop(std::string_view elements, std::string_view kinds) {
  std::uint64_t texts = 0;  // bit i: field i is a text
  for (std::size_t i = 0; i < kinds.size(); ++i) texts |= std::uint64_t{kinds[i] == 'T'} << i;
  const auto* p = reinterpret_cast<const unsigned char*>(elements.data());
  const auto* end = p + elements.size();
  while (p < end)
    for (std::size_t i = 0; i < kinds.size(); ++i) p += texts >> i & 1 ? 2 + (p[0] | p[1] << 8) : 1;
  return static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(elements.data()));
}

BlockItem TinyItem() {  // every text one byte long: the most fields per byte a walk can meet
  BlockItem item;
  for (const FieldRef<Text> t : {BlockItem::Text1, BlockItem::Text2, BlockItem::Text3, BlockItem::Text4, BlockItem::Text5})
    item[t] = Text(1, 't');
  item[BlockItem::Byte1] = 1;
  return item;
}

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "record_bench: %s\n", what);
    std::exit(1);
  }
}

// Reads the whole file once through a buffer of `bufferSize` bytes.
std::uint64_t ReadOnce(const std::string& path, std::size_t bufferSize) {
  static std::vector<char> buffer;
  buffer.resize(bufferSize);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  Require(fd >= 0, "cannot open the profile");
  std::uint64_t total = 0;
  for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<std::uint64_t>(n);
  ::close(fd);
  return total;
}

// The file at `path` of `size` bytes, the legacy record's bytes followed by `tail`.
void CutBack(const std::string& path, std::uint64_t size) {
  Require(::truncate(path.c_str(), static_cast<off_t>(size)) == 0, "cannot cut the profile back");
}

struct Shape {
  const char* name;
  std::string path;
  std::uint64_t size;
  int reps;
  std::string_view elements = {};  // a shape of one array's elements: their bytes
  std::string_view kinds = {};     // and the fields of each
};

void BenchShape(const Shape& shape, const std::string* inMemory) {
  Timings read, hops, upgrade, record;
  ProfileUpgrader upgrader;
  for (int rep = -1; rep < shape.reps; ++rep) {  // rep -1 warms the caches and is not counted
    std::uint64_t got = 0;
    const double r = SecondsOf([&] { got = ReadOnce(shape.path, ProfileUpgrader::kDefaultBufferSize); });
    Require(got == shape.size, "the profile has another size than it was made with");
    std::size_t hopped = 0;
    const double h = SecondsOf([&] { hopped = Hop(shape.elements, shape.kinds); });
    Require(hopped == shape.elements.size(), "the hops did not end where the elements do");
    UpgradeResult result{};
    const double u = SecondsOf([&] { result = upgrader.Upgrade(SystemPlatform(), shape.path); });
    Require(result.outcome == UpgradeOutcome::Upgraded, "the profile was not upgraded");
    CutBack(shape.path, shape.size);
    double m = 0;
    if (inMemory) {
      m = SecondsOf([&] {
        LegacyProfileRecord legacy;
        RecordReader(*inMemory).ReadRecord(LegacyProfileRecord::layout, legacy);
        Keep(EncodeRecord(CurrentProfileRecord::layout, ToCurrent(std::move(legacy))));
      });
    }
    if (rep >= 0) {
      read.seconds.push_back(r);
      hops.seconds.push_back(h);
      upgrade.seconds.push_back(u);
      record.seconds.push_back(m);
    }
  }
  const double mib = Mebibytes(static_cast<double>(shape.size));
  std::printf("%s: %.1f MiB, median of %d (min in brackets)\n", shape.name, mib, shape.reps);
  std::printf("  read     the file once, %3zu KiB reads      %9.1f ms [%8.1f]  %6.0f MiB/s\n",
              ProfileUpgrader::kDefaultBufferSize / 1024, read.Median() * 1e3, read.Min() * 1e3, mib / read.Median());
  if (!shape.kinds.empty())
    std::printf("  hops     field to field, in memory        %9.1f ms [%8.1f]  %6.0f MiB/s\n", hops.Median() * 1e3,
                hops.Min() * 1e3, mib / hops.Median());
  std::printf("  upgrade  ProfileUpgrader::Upgrade         %9.1f ms [%8.1f]  %6.0f MiB/s  ratio %.2f",
              upgrade.Median() * 1e3, upgrade.Min() * 1e3, mib / upgrade.Median(), upgrade.Median() / read.Median());
  if (!shape.kinds.empty())
    std::printf(", to the read and the hops %.2f", upgrade.Median() / (read.Median() + hops.Median()));
  std::printf("\n");
  if (inMemory)
    std::printf("  values   ReadRecord + ToCurrent + Encode  %9.1f ms [%8.1f]  in memory, for reference\n",
                record.Median() * 1e3, record.Min() * 1e3);
}

// Runs this program again as `--peak-rss WHAT PATH` and returns the peak RSS (VmHWM) the child
// reports, in MiB. The child's own figure, since ru_maxrss would carry this process's peak
// across fork and exec.
double PeakRssMiB(const char* what, const std::string& path) {
  int out[2];
  Require(::pipe(out) == 0, "pipe failed");
  const pid_t pid = ::fork();
  Require(pid >= 0, "fork failed");
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(out[1]);
    const char* args[] = {"record_bench", "--peak-rss", what, path.c_str(), nullptr};
    ::execv("/proc/self/exe", const_cast<char* const*>(args));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string report;
  char buffer[256];
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  int status = 0;
  Require(::waitpid(pid, &status, 0) == pid, "waitpid failed");
  Require(WIFEXITED(status) && WEXITSTATUS(status) == 0 && !report.empty(), "a child measurement failed");
  return std::strtod(report.c_str(), nullptr) / 1024.0;
}

int ChildMeasurement(const std::string& what, const std::string& path) {
  int failed = 0;
  if (what != "idle") {
    const UpgradeResult result = ProfileUpgrader().Upgrade(SystemPlatform(), path);
    if (what == "hostile") failed = result.outcome != UpgradeOutcome::Damaged;
    else failed = result.outcome != UpgradeOutcome::Upgraded;
  }
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
  std::fclose(status);
  std::printf("%ld\n", kib);
  return failed || kib < 0;
}

// A legacy profile whose BlockB byte array holds `bytes` bytes, made as a hole in a sparse file.
std::uint64_t WriteSparseProfile(const std::string& path, std::uint64_t bytes) {
  const auto quarter = static_cast<std::uint32_t>(bytes / 4);
  const auto [head, tail, at] = SplitAtArray(Legacy({.arrays = Arrays::None}), LegacyProfileRecord::BlockB,
                                             ProfileBlock::Bytes.index, {{{quarter, 0}, {4, 1}}});
  testing::WriteBytes(path, head);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  Require(fd >= 0 && ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size() + quarter * 4ull)) ==
                         static_cast<ssize_t>(tail.size()),
          "cannot make the sparse profile");
  ::close(fd);
  return head.size() + quarter * 4ull + tail.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak-rss") == 0) return ChildMeasurement(argv[2], argv[3]);
  const double mib = Option(argc, argv, "--mib", 45), sparseGib = Option(argc, argv, "--sparse-gib", 4.5);
  const int reps = std::max(1, static_cast<int>(Option(argc, argv, "--reps", 5)));

  const std::string realistic = Encode(Legacy({.arrays = Arrays::Large, .mebibytes = mib}));
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--save-realistic") == 0) {
      testing::WriteBytes(argv[i + 1], realistic);
      return 0;
    }
  const testing::TempFolder folder("zelvane-record-bench-");
  std::vector<Shape> shapes;
  auto add = [&](const char* name, const std::string& bytes, const char* file, std::string_view elements = {},
                 std::string_view kinds = {}) {
    testing::WriteBytes(folder.File(file), bytes);
    shapes.push_back({name, folder.File(file), bytes.size(), reps, elements, kinds});
  };
  add("realistic profile (byte arrays, text arrays of 0-1000 bytes, BlockItems with texts)", realistic, "realistic.qdx");
  const ArrayProfile empties(ProfileBlock::Items.index, 100, Encode(BlockItem{}));
  const ArrayProfile tinyItems(ProfileBlock::Items.index, 32, Encode(TinyItem()));
  const ArrayProfile tinyTexts(ProfileBlock::Texts.index, 32, std::string("\x01\0t", 3));
  add("nothing but empty BlockItems (12 bytes each)", empties.bytes, "empty-items.qdx");
  add("nothing but BlockItems whose texts hold one byte (17 bytes each)", tinyItems.bytes, "tiny-items.qdx",
      tinyItems.elements, "TBTTTBT");
  add("nothing but one-byte texts (3 bytes each)", tinyTexts.bytes, "tiny-texts.qdx", tinyTexts.elements, "T");
  const auto sparseBytes = static_cast<std::uint64_t>(sparseGib * 1024 * 1024 * 1024);
  const std::string sparse = folder.File("sparse.qdx");
  shapes.push_back({"a byte array past 4 GiB (a sparse file)", sparse, WriteSparseProfile(sparse, sparseBytes), 1});

  for (const Shape& shape : shapes) BenchShape(shape, shape.path == shapes[0].path ? &realistic : nullptr);

  std::printf("peak memory (VmHWM of a fresh child process doing one thing; target: within 4 MiB of idle)\n");
  const double idle = PeakRssMiB("idle", "-");
  std::printf("  idle process                                            %7.1f MiB\n", idle);
  const std::string hostile = folder.File("hostile.qdx");
  testing::WriteBytes(hostile, ClaimingProfile(ProfileBlock::Items.index).bytes);
  const double h = PeakRssMiB("hostile", hostile);
  std::printf("  100-byte file claiming 4,294,967,295 elements           %7.1f MiB (%+.1f)\n", h, h - idle);
  for (const Shape& shape : shapes) {
    const double k = PeakRssMiB("upgrade", shape.path);
    CutBack(shape.path, shape.size);
    std::printf("  upgrade, %-46.46s %7.1f MiB (%+.1f)\n", shape.name, k, k - idle);
  }
  return 0;
}
