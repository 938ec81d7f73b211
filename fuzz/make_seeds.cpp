// Writes the seed corpus of record_reader_fuzz into the folder given as the argument: a few
// valid encodings of each layout, cut and padded variants, and hostile array headers.

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "testing/sample_profiles.h"

using namespace zelvane;
using namespace zelvane::samples;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";

  const LegacyProfileRecord sample = Legacy({.seed = "1"});
  const std::string small = Encode(sample);
  // A legal empty byte array whose counts multiply past 64 bits before its count of 0, and a
  // Text30 so that the profile is upgraded.
  LegacyProfileRecord zeroAfterHuge;
  zeroAfterHuge[LegacyProfileRecord::BlockA][ProfileBlock::Bytes] = {
      {{{0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0}, {0, 0}}}, {}};
  zeroAfterHuge[LegacyProfileRecord::Text30] = "x";

  const std::vector<std::pair<std::string, std::string>> seeds = {
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
