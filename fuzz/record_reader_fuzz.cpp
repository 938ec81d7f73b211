// libFuzzer target: decodes the input by each record layout and checks that decoding then
// encoding gives back exactly the bytes that were read; then runs the in-place upgrade of the
// input as a profile file, over an in-memory platform, and checks it against what a full decode
// says it must do: the same outcome, the bytes that were read unchanged, the 2.0.12 record
// written over the legacy one, and nothing more changed by a second upgrade.
//
// Any broken invariant aborts, so libFuzzer keeps the input as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "format/profile_layouts.h"
#include "format/record_reader.h"
#include "format/record_writer.h"
#include "platform/platform.h"
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
class MemoryPlatform : public Platform {
 public:
  explicit MemoryPlatform(std::string contents) : contents_(std::move(contents)) {}

  const std::string& Contents() const { return contents_; }
  int Writes() const { return writes_; }

  char Separator() const override { return '/'; }
  std::string ReadWholeFile(const std::string&) override { return contents_; }
  void WriteAt(const std::string&, std::uint64_t offset, std::string_view bytes) override {
    ++writes_;
    Check(offset <= contents_.size(), "a write leaves a hole in the file");
    const auto at = static_cast<std::size_t>(offset);
    if (at + bytes.size() > contents_.size()) contents_.resize(at + bytes.size());
    contents_.replace(at, bytes.size(), bytes);
  }
  std::unique_ptr<FileListing> ListFiles(const std::string&, std::string_view) override {
    return std::make_unique<EmptyListing>();
  }
  std::string ProgramFolder() override { return "/"; }
  std::string ProgramName() override { return "zelvane"; }
  void RemoveAfterExit(const std::string&) override { Broken("an upgrade removes a file"); }

 private:
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

void CheckUpgrade(std::string_view input) {
  const auto [expected, expectedFile] = Expected(input);

  MemoryPlatform file{std::string(input)};
  UpgradeResult result{};
  try {
    result = UpgradeProfileFile(file, "profile.qdx");
  } catch (const std::exception&) {
    Broken("the upgrade of an in-memory file throws");
  }
  Check(result == expected, "the upgrade decided otherwise than a full decode says");
  Check(file.Contents() == expectedFile, "the upgraded file is not the 2.0.12 record over the legacy bytes");
  if (result.outcome == UpgradeOutcome::Skipped) {
    Check(file.Writes() == 0, "a skipped file was written");
    return;
  }

  // The file now starts with a whole 2.0.12 record, and a second upgrade changes nothing.
  const std::string& after = file.Contents();
  CurrentProfileRecord current;
  RecordReader again(after);
  Check(again.ReadRecord(CurrentProfileRecord::layout, current) == ReadEnd::Complete,
        "the upgraded file does not hold a whole 2.0.12 record");
  MemoryPlatform second{after};
  try {
    UpgradeProfileFile(second, "profile.qdx");
  } catch (const std::exception&) {
    Broken("the second upgrade throws");
  }
  Check(second.Contents() == after, "a second upgrade changed the file");
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
