// libFuzzer target: decodes the input by each record layout and checks that decoding then
// encoding gives back exactly the bytes that were read; then runs the streaming in-place upgrade
// of the input as a profile file, over an in-memory platform and through read buffers of several
// sizes, and checks it against what the record-value path (ReadRecord, ToCurrent, WriteRecord)
// says it must do: the same decision, the same bytes written, nothing written when nothing
// changes, the same decision from a check that writes nothing, and nothing more changed by a
// second upgrade.
//
// Any broken invariant aborts, so libFuzzer keeps the input as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "format/byte_cursor.h"
#include "format/profile_layouts.h"
#include "format/record_reader.h"
#include "format/record_writer.h"
#include "platform/platform.h"
#include "testing/forwarding_platform.h"
#include "upgrade/upgrade_file.h"

namespace zelvane {
namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void Check(bool holds, const char* what) {
  if (!holds) Broken(what);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

void CheckRoundTrip(const Layout& layout, std::string_view input) {
  Record record;
  RecordReader reader(input);
  const ReadEnd end = reader.ReadRecord(layout, record);
  const std::size_t position = reader.Position();
  Check(position <= input.size(), "the position is past the data");

  std::string encoded;
  try {
    encoded = EncodeRecord(layout, record);
  } catch (const std::exception&) {
    Broken("a decoded record cannot be encoded");
  }

  switch (end) {
    case ReadEnd::Complete:
      Check(encoded == input.substr(0, position), "a complete record does not encode to the bytes read");
      break;
    case ReadEnd::AtFieldBoundary:
      Check(position == input.size(), "a record cut between fields did not read all the data");
      Check(StartsWith(encoded, input), "a record cut between fields does not encode to the whole data");
      break;
    case ReadEnd::InsideField:
      Check(position < input.size(), "a record cut inside a field read all the data");
      Check(StartsWith(encoded, input.substr(0, position)),
            "a record cut inside a field does not encode to the bytes read");
      break;
    default:
      Broken("an unknown read end");
  }
}

class EmptyListing : public FileListing {
 public:
  std::string Next() override { return {}; }
};

// One file, held in memory.
class MemoryPlatform : public testing::ForwardingPlatform {
 public:
  explicit MemoryPlatform(std::string contents) : contents_(std::move(contents)) {}

  const std::string& Contents() const { return contents_; }
  int Writes() const { return writes_; }

  std::unique_ptr<ProfileFile> OpenProfile(const std::string&, OpenFor purpose) override {
    return std::make_unique<File>(*this, purpose);
  }
  std::unique_ptr<FileListing> ListFiles(const std::string&, std::string_view) override {
    return std::make_unique<EmptyListing>();
  }

 private:
  class File : public ProfileFile {
   public:
    File(MemoryPlatform& owner, OpenFor purpose) : owner_(owner), size_(owner.contents_.size()), purpose_(purpose) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
      const std::string& c = owner_.contents_;
      if (offset >= c.size()) return 0;
      return c.copy(into, size, static_cast<std::size_t>(offset));
    }
    void WriteAt(std::uint64_t offset, std::string_view bytes) override {
      Check(purpose_ == OpenFor::Upgrading, "a check writes");
      ++owner_.writes_;
      std::string& c = owner_.contents_;
      Check(offset <= c.size(), "a write leaves a hole in the file");
      const auto at = static_cast<std::size_t>(offset);
      if (at + bytes.size() > c.size()) c.resize(at + bytes.size());
      c.replace(at, bytes.size(), bytes);
    }
    bool Written() const override { return owner_.writes_ > 0; }
    void Truncate(std::uint64_t) override { Broken("a write that did not fail is taken back"); }
    void Close() override {}

   private:
    MemoryPlatform& owner_;
    std::uint64_t size_;
    OpenFor purpose_;
  };

  std::string contents_;
  int writes_ = 0;
};

// True when `tail` is exactly one Text followed by one Byte: what a 2.0.12 record has beyond
// the legacy fields.
bool IsTextThenByte(std::string_view tail) {
  if (tail.size() < 3) return false;
  const std::size_t length = static_cast<unsigned char>(tail[0]) | std::size_t{static_cast<unsigned char>(tail[1])} << 8;
  return tail.size() == 2 + length + 1;
}

// What the upgrade must do, worked out from a full decode: the outcome and the file afterwards.
std::pair<UpgradeResult, std::string> Expected(std::string_view input) {
  LegacyProfileRecord legacy;
  RecordReader reader(input);
  const ReadEnd end = reader.ReadRecord(LegacyProfileRecord::layout, legacy);
  const std::size_t read = reader.Position();
  std::string file(input);
  if (end == ReadEnd::InsideField) return {{UpgradeOutcome::Skipped, SkipReason::Damaged}, file};
  if (end == ReadEnd::Complete && IsTextThenByte(input.substr(read)))
    return {{UpgradeOutcome::Skipped, SkipReason::AlreadyCurrent}, file};
  if (HasBlankTail(legacy)) return {{UpgradeOutcome::Skipped, SkipReason::BlankTail}, file};
  const std::string encoded = EncodeRecord(CurrentProfileRecord::layout, ToCurrent(legacy));
  Check(encoded.compare(0, read, input, 0, read) == 0, "the 2.0.12 encoding changes a byte that was read");
  if (file.size() < encoded.size()) file.resize(encoded.size());
  file.replace(read, encoded.size() - read, encoded, read);
  return {{UpgradeOutcome::Upgraded, SkipReason::None}, file};
}

UpgradeResult UpgradeInMemory(MemoryPlatform& file, std::size_t buffer, UpgradeMode mode) {
  try {
    return ProfileUpgrader(buffer).Upgrade(file, "profile.qdx", mode);
  } catch (const std::exception&) {
    Broken("the upgrade of an in-memory file throws");
  }
}

// The streaming upgrade, through a buffer as small as a cursor takes and through the usual one,
// decides and writes exactly what the record-value path says, a check says the same and writes
// nothing, and a second upgrade changes nothing.
void CheckUpgrade(std::string_view input) {
  const auto [expected, expectedFile] = Expected(input);
  const std::size_t smallBuffer = ByteCursor::kMinBuffer + input.size() % 23;
  for (const std::size_t buffer : {smallBuffer, ProfileUpgrader::kDefaultBufferSize}) {
    MemoryPlatform check{std::string(input)};
    const UpgradeResult checked = UpgradeInMemory(check, buffer, UpgradeMode::Check);
    Check(check.Contents() == input && check.Writes() == 0, "a check changed the file");

    MemoryPlatform file{std::string(input)};
    const UpgradeResult result = UpgradeInMemory(file, buffer, UpgradeMode::Upgrade);
    Check(result == checked, "a check and an upgrade decided differently");
    Check(result.outcome == expected.outcome && result.reason == expected.reason,
          "the upgrade decided otherwise than a full decode says");
    Check((result.reason == SkipReason::Damaged) == (result.damage != Damage::None), "damage without a reason");
    Check(file.Contents() == expectedFile, "the upgraded file is not the 2.0.12 record over the legacy bytes");
    Check(result.written == (file.Writes() > 0) && (file.Writes() > 0) == (expectedFile != input),
          "a file that needed no change was written, or one that did was not");
    if (result.outcome == UpgradeOutcome::Skipped) continue;

    // The file now starts with a whole 2.0.12 record, and a second upgrade changes nothing.
    const std::string& after = file.Contents();
    CurrentProfileRecord current;
    RecordReader again(after);
    Check(again.ReadRecord(CurrentProfileRecord::layout, current) == ReadEnd::Complete,
          "the upgraded file does not hold a whole 2.0.12 record");
    MemoryPlatform second{after};
    UpgradeInMemory(second, buffer, UpgradeMode::Upgrade);
    Check(second.Contents() == after && second.Writes() == 0, "a second upgrade changed the file");
  }
}

}  // namespace
}  // namespace zelvane

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelvane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const Layout* layout : {&layouts::LegacyProfileRecord, &layouts::CurrentProfileRecord,
                               &layouts::ProfileBlock, &layouts::BlockItem})
    CheckRoundTrip(*layout, input);
  CheckUpgrade(input);
  return 0;
}
