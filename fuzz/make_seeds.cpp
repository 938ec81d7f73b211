// Writes the seed corpus of record_reader_fuzz into the folder given as the argument: a few
// valid encodings of each layout, cut and padded variants, and hostile array headers.

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/sample_profiles.h"
#include "upgrade/upgrade_file.h"

using namespace zelvane;
using namespace zelvane::samples;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";

  const std::string emptyLegacy = Encode(LegacyProfileRecord{}, LegacyProfileRecord::layout);  // 98 bytes
  const std::string small = Encode(SmallLegacy(1), LegacyProfileRecord::layout);
  const std::size_t text31 = SmallLegacy(1)[LegacyProfileRecord::Text31].size();
  const std::string other = Encode(SmallLegacy(12), LegacyProfileRecord::layout);
  const std::string current = Encode(ToCurrent(SmallLegacy(5)), CurrentProfileRecord::layout);
  ProfileBlock block;
  block[ProfileBlock::Items] = {{{{3, -2}}}, {ItemOf(3, 4), ItemOf(4, 0), BlockItem{}}};
  block[ProfileBlock::Bytes] = {{{{1, 0}, {2, -1}}}, {7, 8}};

  // A legal empty byte array whose counts multiply past 64 bits before its count of 0, and a
  // Text30 so that the profile is upgraded.
  std::string zeroAfterHuge = emptyLegacy.substr(0, EmptyBlockAItemsOffset + 2 + 3 * 2);
  zeroAfterHuge += std::string("\x04\x00", 2);
  for (int i = 0; i < 3; ++i) zeroAfterHuge += std::string("\xFF\xFF\xFF\xFF\x00\x00\x00\x00", 8);
  zeroAfterHuge += std::string(8, '\0');
  zeroAfterHuge += emptyLegacy.substr(zeroAfterHuge.size() - 32, emptyLegacy.size() - 4 - (zeroAfterHuge.size() - 32));
  zeroAfterHuge += std::string("\x01\x00x\x00\x00", 5);

  std::vector<std::pair<std::string, std::string>> seeds = {
      {"empty-legacy", emptyLegacy},
      {"empty-current", Encode(CurrentProfileRecord{}, CurrentProfileRecord::layout)},
      {"small-legacy", small},
      {"small-legacy-12", other},
      {"small-current", current},
      {"legacy-with-trailing-bytes", small + std::string("\x01\x00\x41\x07\xFF", 5)},
      {"legacy-cut-before-text31", small.substr(0, small.size() - 2 - text31)},
      {"legacy-cut-inside-field", small.substr(0, small.size() / 2)},
      {"profile-block", Encode(block, layouts::ProfileBlock)},
      {"block-item", Encode(ItemOf(9, 6), layouts::BlockItem)},
      {"bytes-zero-count-after-huge-counts", zeroAfterHuge},
      {"hostile-items", HostileProfile(HostileArray::Items)},
      {"hostile-bytes", HostileProfile(HostileArray::Bytes)},
      {"hostile-texts", HostileProfile(HostileArray::Texts)},
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
