// Upgrading one large profile against copying the same file, and peak memory.
//
// For a legacy profile of tens of MiB with a realistic mix of arrays, times:
//   copy      read the whole file and write it whole to another file (the floor);
//   upgrade   UpgradeProfileFile on a fresh copy: read, decode, encode, compare, write the tail;
//   rewrite   read, decode, encode in the 2.0.12 layout and write the whole encoding to a file,
//             which is what any upgrade that rewrites the file would cost.
// and prints the medians and their ratios to the copy (target: at most 2). The same for a
// worst-case composition (nothing but tiny BlockItems), reported separately.
// Peak memory is the peak RSS (VmHWM) of a child process doing one thing: nothing (the baseline),
// reading a 100-byte file whose array header claims 4,294,967,295 elements (target: < 8 MiB),
// and upgrading each of the two large profiles.
//
// Usage: record_bench [--mib N] [--worst-mib N] [--reps N]
//        record_bench --save-realistic PATH [--mib N]    (writes the profile for a profiler)

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_support.h"
#include "format/profile_layouts.h"
#include "format/record_reader.h"
#include "format/record_writer.h"
#include "fuzz/sample_profiles.h"
#include "platform/platform.h"
#include "upgrade/upgrade_file.h"

using namespace zelvane;
using namespace zelvane::bench;

namespace {

std::uint32_t Next(std::uint32_t& state) {  // a fixed pseudo-random sequence
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

// An array of the given shape whose elements `make` returns in turn.
template <class Element, class Make>
Array<Element> ArrayOf(std::vector<Dimension> dims, Make make) {
  Array<Element> array;
  array.bounds.dims = std::move(dims);
  std::uint64_t count = 0;
  array.bounds.ElementCount(count);
  array.elements.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) array.elements.push_back(make());
  return array;
}

TextArray TextsOf(std::vector<Dimension> dims, std::size_t maxLength, std::uint32_t seed) {
  return ArrayOf<Text>(std::move(dims), [&] { return samples::TextOf(Next(seed) % (maxLength + 1), seed); });
}

ByteArray BytesOf(std::vector<Dimension> dims, std::uint32_t seed) {
  return ArrayOf<std::uint8_t>(std::move(dims), [&] { return static_cast<std::uint8_t>(Next(seed)); });
}

RecordArray ItemsOf(std::vector<Dimension> dims, std::size_t maxTextLength, std::uint32_t seed) {
  return ArrayOf<Record>(std::move(dims),
                         [&]() -> Record { return samples::ItemOf(Next(seed), Next(seed) % (maxTextLength + 1)); });
}

LegacyProfileRecord WithTexts(LegacyProfileRecord r) {
  for (std::size_t i = 0; i < ProfileFields::SharedFieldCount; ++i)
    if (auto* text = std::get_if<Text>(&r.fields[i])) *text = samples::TextOf(i * 7 % 60, static_cast<std::uint32_t>(i));
  r[LegacyProfileRecord::Byte1] = 1;
  r[LegacyProfileRecord::Byte4] = 0xFE;
  return r;
}

// About `mib` MiB: large byte arrays, text arrays of varied lengths, many BlockItems with texts,
// one to three dimensions, negative lower bounds.
std::string RealisticProfile(double mib) {
  const double k = mib / 45.0;
  auto n = [k](double v) { return static_cast<std::uint32_t>(std::max(1.0, v * k)); };
  LegacyProfileRecord r = WithTexts(LegacyProfileRecord{});
  ProfileBlock a, b;
  a[ProfileBlock::Text1] = "Block A";
  a[ProfileBlock::Bytes] = BytesOf({{n(3000), -5}, {4000, 1}}, 1);                      // ~11.4 MiB
  a[ProfileBlock::Texts] = TextsOf({{n(50), 0}, {40, -3}, {50, 1}}, 300, 2);           // ~14.5 MiB
  a[ProfileBlock::Items] = ItemsOf({{n(20000), 1}}, 120, 3);                           // ~2.3 MiB
  b[ProfileBlock::Text5] = "Block B";
  b[ProfileBlock::Bytes] = BytesOf({{n(8u << 20), -100}}, 4);                          // 8 MiB
  b[ProfileBlock::Texts] = TextsOf({{n(200), 0}, {100, 0}}, 1000, 5);                  // ~9.6 MiB
  b[ProfileBlock::Items] = ItemsOf({{n(100), -50}, {50, 0}}, 40, 6);                   // ~0.2 MiB
  r[LegacyProfileRecord::BlockA] = std::move(a);
  r[LegacyProfileRecord::BlockB] = std::move(b);
  return EncodeRecord(LegacyProfileRecord::layout, r);
}

// About `mib` MiB of nothing but empty BlockItems: 12 bytes each in the file, the most values
// per byte any profile can hold.
std::string WorstCaseProfile(double mib) {
  LegacyProfileRecord r = WithTexts(LegacyProfileRecord{});
  const auto count = static_cast<std::uint32_t>(mib * 1024 * 1024 / 12);
  ProfileBlock a;
  a[ProfileBlock::Items].bounds.dims = {{count, 0}};
  a[ProfileBlock::Items].elements.assign(count, BlockItem{});
  r[LegacyProfileRecord::BlockA] = std::move(a);
  return EncodeRecord(LegacyProfileRecord::layout, r);
}

void Require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "record_bench: %s\n", what);
    std::exit(1);
  }
}

// Everything a whole rewrite does: read, decode, convert, encode, write the whole encoding.
void RewriteWhole(Platform& p, const std::string& from, const std::string& to) {
  const std::string data = p.ReadWholeFile(from);
  LegacyProfileRecord legacy;
  RecordReader reader(data);
  Require(reader.ReadRecord(LegacyProfileRecord::layout, legacy) == ReadEnd::Complete, "the profile is not whole");
  RecordWriter writer;
  writer.Reserve(reader.Position() + 3);
  writer.WriteRecord(CurrentProfileRecord::layout, ToCurrent(std::move(legacy)));
  p.WriteAt(to, 0, writer.Bytes());
}

void Copy(Platform& p, const std::string& from, const std::string& to) {
  const std::string data = p.ReadWholeFile(from);
  p.WriteAt(to, 0, data);
}

void BenchComposition(const char* name, const std::string& bytes, const TempFolder& folder, int reps) {
  Platform& p = SystemPlatform();
  const std::string source = folder / "source.qdx", target = folder / "target.qdx", work = folder / "work.qdx";
  WriteNewFile(source, bytes);
  Timings copy, upgrade, rewrite;
  for (int rep = -1; rep < reps; ++rep) {  // rep -1 warms the caches and is not counted
    WriteNewFile(target, "");
    const double c = SecondsOf([&] { Copy(p, source, target); });
    WriteNewFile(work, bytes);
    UpgradeResult result{};
    const double u = SecondsOf([&] { result = UpgradeProfileFile(p, work); });
    Require(result.outcome == UpgradeOutcome::Upgraded, "the profile was not upgraded");
    WriteNewFile(target, "");
    const double w = SecondsOf([&] { RewriteWhole(p, source, target); });
    if (rep >= 0) {
      copy.seconds.push_back(c);
      upgrade.seconds.push_back(u);
      rewrite.seconds.push_back(w);
    }
  }
  Require(p.ReadWholeFile(work) == p.ReadWholeFile(target), "the two upgrades differ");
  RemoveFile(work);
  RemoveFile(target);

  // One more pass, phase by phase, to show where the time goes.
  std::string data, encoded;
  LegacyProfileRecord legacy;
  CurrentProfileRecord current;
  WriteNewFile(target, "");
  const double read = SecondsOf([&] { data = p.ReadWholeFile(source); });
  const double decode = SecondsOf([&] { RecordReader(data).ReadRecord(LegacyProfileRecord::layout, legacy); });
  const double encode = SecondsOf([&] {
    current = ToCurrent(std::move(legacy));
    encoded = EncodeRecord(CurrentProfileRecord::layout, current);
  });
  const double write = SecondsOf([&] { p.WriteAt(target, 0, encoded); });
  const double destroy = SecondsOf([&] { current = CurrentProfileRecord{}; });
  RemoveFile(target);
  RemoveFile(source);

  const double mib = Mebibytes(static_cast<double>(bytes.size()));
  std::printf("%s: %.1f MiB, median of %d (min in brackets)\n", name, mib, reps);
  std::printf("  copy     read whole + write whole          %8.1f ms [%7.1f]  %6.0f MiB/s\n",
              copy.Median() * 1e3, copy.Min() * 1e3, mib / copy.Median());
  std::printf("  upgrade  UpgradeProfileFile (tail written) %8.1f ms [%7.1f]  %6.0f MiB/s  ratio %.2f\n",
              upgrade.Median() * 1e3, upgrade.Min() * 1e3, mib / upgrade.Median(), upgrade.Median() / copy.Median());
  std::printf("  rewrite  decode + encode + write whole     %8.1f ms [%7.1f]  %6.0f MiB/s  ratio %.2f\n",
              rewrite.Median() * 1e3, rewrite.Min() * 1e3, mib / rewrite.Median(), rewrite.Median() / copy.Median());
  std::printf("  phases   read %.1f, decode %.1f, convert + encode %.1f, write %.1f, free %.1f ms\n", read * 1e3,
              decode * 1e3, encode * 1e3, write * 1e3, destroy * 1e3);
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
    const UpgradeResult result = UpgradeProfileFile(SystemPlatform(), path);
    if (what == "hostile") failed = result != UpgradeResult{UpgradeOutcome::Skipped, SkipReason::Damaged};
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

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peak-rss") == 0) return ChildMeasurement(argv[2], argv[3]);
  double mib = 45, worstMib = 16;
  int reps = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mib") == 0) mib = std::atof(argv[i + 1]);
    else if (std::strcmp(argv[i], "--worst-mib") == 0) worstMib = std::atof(argv[i + 1]);
    else if (std::strcmp(argv[i], "--reps") == 0) reps = std::max(1, std::atoi(argv[i + 1]));
  }

  std::string realistic = RealisticProfile(mib);
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--save-realistic") == 0) {
      WriteNewFile(argv[i + 1], realistic);
      return 0;
    }
  TempFolder folder("zelvane-record-bench");
  BenchComposition("realistic profile (byte arrays, text arrays of 0-1000 bytes, BlockItems with texts)", realistic,
                   folder, reps);
  std::string worst = WorstCaseProfile(worstMib);
  BenchComposition("worst case (nothing but empty BlockItems, 12 bytes each)", worst, folder, reps);

  std::printf("peak memory (VmHWM of a fresh child process doing one thing)\n");
  const double idle = PeakRssMiB("idle", "-");
  std::printf("  idle process                                   %7.1f MiB\n", idle);
  const std::string hostile = folder / "hostile.qdx";
  WriteNewFile(hostile, samples::HostileProfile(samples::HostileArray::Items));
  const double h = PeakRssMiB("hostile", hostile);
  std::printf("  100-byte file claiming 4,294,967,295 elements  %7.1f MiB (%+.1f over idle; target < 8 MiB)\n",
              h, h - idle);
  for (auto [name, bytes] : {std::pair{"realistic", &realistic}, std::pair{"worst case", &worst}}) {
    const std::string path = folder / "peak.qdx";
    WriteNewFile(path, *bytes);
    const double k = PeakRssMiB("upgrade", path);
    const double fileMib = Mebibytes(static_cast<double>(bytes->size()));
    std::printf("  upgrade of the %-10s profile (%5.1f MiB)    %7.1f MiB (%.1f x the file)\n", name, fileMib, k,
                (k - idle) / fileMib);
  }
  return 0;
}
