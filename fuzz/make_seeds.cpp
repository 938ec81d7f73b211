// Writes the seed corpus of a fuzz target into a folder:
//   fuzz_seeds record_reader FOLDER   a few valid encodings of each layout, cut and padded
//                                     variants, and hostile array headers;
//   fuzz_seeds command_line FOLDER    the command lines and /log: paths of the command line's
//                                     unit tests, each in UTF-8 and in UTF-16.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "testing/command_line_rows.h"
#include "testing/sample_profiles.h"

using namespace zelvane;
using namespace zelvane::samples;

namespace {

using Seeds = std::vector<std::pair<std::string, std::string>>;

Seeds CommandLineSeeds() {
  Seeds seeds;
  const auto add = [&seeds](const char* kind, std::size_t row, std::string_view text) {
    std::string utf16;  // little-endian units; the rows' text beyond ASCII is UTF-8 and stays bytes
    for (const char c : text) utf16 += {c, '\0'};
    seeds.emplace_back(std::string(kind) + "-" + std::to_string(row), std::string(text));
    seeds.emplace_back(std::string(kind) + "-" + std::to_string(row) + "-utf16", utf16);
  };
  for (std::size_t i = 0; i < std::size(testing::kCommandLineRows); ++i) add("line", i, testing::kCommandLineRows[i].raw);
  for (std::size_t i = 0; i < std::size(testing::kLogTargetRows); ++i) add("log", i, testing::kLogTargetRows[i].path);
  return seeds;
}

Seeds RecordSeeds() {
  const LegacyProfileRecord sample = Legacy({.seed = "1"});
  const std::string small = Encode(sample);
  // A legal empty byte array whose counts multiply past 64 bits before its count of 0, and a
  // Text30 so that the profile is upgraded.
  LegacyProfileRecord zeroAfterHuge;
  zeroAfterHuge[LegacyProfileRecord::BlockA][ProfileBlock::Bytes] = {
      {{{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0, 0}}}, {}};
  zeroAfterHuge[LegacyProfileRecord::Text30] = "x";

  const Seeds seeds = {
      {"empty-legacy", Encode(LegacyProfileRecord{})},
      {"empty-current", Encode(CurrentProfileRecord{})},
      {"small-legacy", small},
      {"plain-legacy-12", Encode(Legacy({.seed = "12", .arrays = Arrays::None}))},
      {"small-current", Encode(Current({.seed = "5"}, "new", 7))},
      {"legacy-with-trailing-bytes", small + std::string("\x01\x00\x41\x07\xFF", 5)},
      {"legacy-cut-before-text31", small.substr(0, FieldStart(small, LegacyProfileRecord::Text31.index))},
      {"legacy-cut-inside-field", small.substr(0, small.size() / 2)},
      {"profile-block", EncodeRecord(layouts::ProfileBlock, sample[LegacyProfileRecord::BlockA])},
      {"block-item", Encode(ItemOf(9, 6))},
      {"bytes-zero-count-after-huge-counts", Encode(zeroAfterHuge)},
      {"hostile-items", ClaimingProfile(ProfileBlock::Items.index).bytes},
      {"hostile-bytes", ClaimingProfile(ProfileBlock::Bytes.index).bytes},
      {"hostile-texts", ClaimingProfile(ProfileBlock::Texts.index).bytes},
  };
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  const bool commandLine = argc == 3 && std::strcmp(argv[1], "command_line") == 0;
  if (argc != 3 || (!commandLine && std::strcmp(argv[1], "record_reader") != 0)) {
    std::fprintf(stderr, "usage: %s record_reader|command_line FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[2]) + "/";
  const Seeds seeds = commandLine ? CommandLineSeeds() : RecordSeeds();
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(folder + name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s%s\n", folder.c_str(), name.c_str());
      return 1;
    }
  }
  std::printf("%zu seeds written to %s\n", seeds.size(), folder.c_str());
  return 0;
}
