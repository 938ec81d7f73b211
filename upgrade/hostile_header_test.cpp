// A profile whose array header claims far more than it holds (4,294,967,295 elements in 100 bytes)
// is read in bounded memory and bounded work: every allocation made while it is read and upgraded
// is counted, and both the bytes and the number of allocations stay small whatever the claim. The
// file is left as it was.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "platform/platform.h"
#include "testing/files.h"
#include "testing/record_reader.h"
#include "testing/sample_profiles.h"
#include "upgrade/profile_upgrader.h"

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

using samples::ClaimingProfile;
using testing::ReadBytes;
using testing::WriteBytes;

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

// Each hostile claim, in one of BlockA's arrays of a profile of the claim's size, is refused at its
// header, as a record and as a file, which is left as it was.
TEST(HostileHeader, IsRefusedInBoundedMemoryAndTheFileLeftAsItWas) {
  const testing::TempFolder folder;
  const std::string path = folder.File("hostile.qdx");
  for (const samples::HostileClaim& claim : samples::HostileClaims()) {
    SCOPED_TRACE(claim.name);
    const samples::Claim c = ClaimingProfile(claim.array, claim.bounds, claim.size);
    ReadEnd end{};
    std::size_t position = 0;
    LegacyProfileRecord record;
    const auto [bytes, count] = Allocations([&] {
      RecordReader reader(c.bytes);
      end = reader.ReadRecord(LegacyProfileRecord::layout, record);
      position = reader.Position();
    });
    EXPECT_EQ(end, ReadEnd::InsideField);
    EXPECT_EQ(position, c.at);  // the start of the array field: its header is refused
    EXPECT_EQ(record, LegacyProfileRecord{});
    EXPECT_LT(bytes, ByteBound);
    EXPECT_LT(count, AllocationBound);

    WriteBytes(testing::FromUtf8(path), c.bytes);
    UpgradeResult result{};
    const auto [fileBytes, fileCount] =
        Allocations([&] { result = ProfileUpgrader(4096).Upgrade(SystemPlatform(), path); });
    EXPECT_EQ(result, (UpgradeResult{UpgradeOutcome::Damaged, Damage::ClaimExceedsFile}));
    EXPECT_LT(fileBytes, ByteBound);  // the read buffer included
    EXPECT_LT(fileCount, AllocationBound);
    EXPECT_EQ(ReadBytes(testing::FromUtf8(path)), c.bytes);
  }
}

}  // namespace
}  // namespace zelvane
