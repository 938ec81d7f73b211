// A 100-byte profile whose array header claims 4,294,967,295 elements is read in bounded memory
// and bounded work: every allocation made while it is read and upgraded is counted, and both the
// bytes and the number of allocations stay small whatever the claim. The file is left as it was.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <new>

#include "format/record_reader.h"
#include "fuzz/sample_profiles.h"
#include "platform/platform.h"
#include "upgrade/upgrade_file.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocatedBytes{0}, allocations{0};

void* Allocate(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) {
    allocatedBytes.fetch_add(size, std::memory_order_relaxed);
    allocations.fetch_add(1, std::memory_order_relaxed);
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace zelvane {
namespace {

using samples::HostileArray;

// Counts what `work` allocates, all of it: nothing is subtracted for what it frees.
template <class Work>
std::pair<std::size_t, std::size_t> Allocations(Work work) {
  allocatedBytes = 0;
  allocations = 0;
  counting = true;
  work();
  counting = false;
  return {allocatedBytes.load(), allocations.load()};
}

// Well above what an empty legacy record takes, far below what any part of the claim would.
constexpr std::size_t ByteBound = 64 * 1024;
constexpr std::size_t AllocationBound = 400;

class HostileHeader : public ::testing::TestWithParam<HostileArray> {};

TEST_P(HostileHeader, IsReadInBoundedMemoryAndLeftDamaged) {
  const std::string data = samples::HostileProfile(GetParam());
  ASSERT_EQ(data.size(), 100u);

  ReadEnd end{};
  std::size_t position = 0;
  LegacyProfileRecord record;
  const auto [bytes, count] = Allocations([&] {
    RecordReader reader(data);
    end = reader.ReadRecord(LegacyProfileRecord::layout, record);
    position = reader.Position();
  });
  EXPECT_EQ(end, ReadEnd::InsideField);
  EXPECT_EQ(position, data.find('\xFF') - 2);  // the start of the array field: its header is refused
  EXPECT_EQ(record, LegacyProfileRecord{});
  EXPECT_LT(bytes, ByteBound);
  EXPECT_LT(count, AllocationBound);
}

TEST_P(HostileHeader, AsAFileIsSkippedAsDamagedInBoundedMemory) {
  const std::string data = samples::HostileProfile(GetParam());
  const auto folder = std::filesystem::temp_directory_path() /
                      ("zelvane-hostile-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder);
  const auto path = folder / "hostile.qdx";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  const std::string utf8 = path.string();

  UpgradeResult result{};
  const auto [bytes, count] = Allocations([&] { result = ProfileUpgrader(4096).Upgrade(SystemPlatform(), utf8); });
  EXPECT_EQ(result, (UpgradeResult{UpgradeOutcome::Skipped, SkipReason::Damaged, Damage::ClaimExceedsFile}));
  EXPECT_LT(bytes, ByteBound);  // the read buffer included
  EXPECT_LT(count, AllocationBound);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), data);
  in.close();
  std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(InEachArrayKind, HostileHeader,
                         ::testing::Values(HostileArray::Items, HostileArray::Bytes, HostileArray::Texts));

// The same claim spread over several dimensions whose product overflows 64 bits, counts whose
// product wraps around to 0, the largest number of dimensions a header can claim, and a claim
// that the bytes left could hold as bytes but not as 12-byte items.
TEST(HostileHeaderShapes, OverflowingProductsAndManyDimensionsAreRefusedCheaply) {
  std::string overflow = samples::HostileProfile(HostileArray::Bytes);
  const std::size_t at = overflow.find('\xFF') - 2;
  const auto put = [at](std::string& data, std::initializer_list<unsigned char> header) {
    std::size_t i = at;
    for (const unsigned char b : header) data[i++] = static_cast<char>(b);
  };
  put(overflow, {3, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF,
                 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F});

  std::string wrapsToZero(at + 100, '\0');  // 65,536 to the fourth is 2 to the 64th
  put(wrapsToZero, {4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});

  std::string manyDims = overflow;
  manyDims[at] = '\xFF';
  manyDims[at + 1] = '\xFF';

  std::string itemsAsBytes = samples::HostileProfile(HostileArray::Items) + std::string(59'900, '\0');
  const std::size_t itemsAt = itemsAsBytes.find('\xFF') - 2;
  itemsAsBytes.replace(itemsAt + 2, 4, std::string("\x50\xC3\0\0", 4));  // 50,000 items

  const std::pair<const std::string*, std::size_t> cases[] = {
      {&overflow, at}, {&wrapsToZero, at}, {&manyDims, at}, {&itemsAsBytes, itemsAt}};
  for (const auto& [data, cutAt] : cases) {
    ReadEnd end{};
    std::size_t position = 0;
    const auto [bytes, count] = Allocations([&] {
      LegacyProfileRecord record;
      RecordReader reader(*data);
      end = reader.ReadRecord(LegacyProfileRecord::layout, record);
      position = reader.Position();
    });
    EXPECT_EQ(end, ReadEnd::InsideField) << data->size();
    EXPECT_EQ(position, cutAt) << data->size();
    EXPECT_LT(bytes, ByteBound) << data->size();
    EXPECT_LT(count, AllocationBound) << data->size();
  }
}

}  // namespace
}  // namespace zelvane
