// libFuzzer target: decodes the input by each record layout and checks that decoding then
// encoding gives back exactly the bytes that were read; then runs the streaming in-place upgrade
// of the input as a profile file, over an in-memory platform and through read buffers of several
// sizes, and checks it against an oracle that shares no code with the walk the reader and the
// upgrade use: a plain reading of the encoding written out below. The upgrade must decide as
// the oracle does (damage kind included), write exactly the bytes the 2.0.12 layout adds and
// nothing when nothing changes, open for writing only what it changes, close what it opens, and change
// nothing more on a second upgrade. The in-memory file hands out its bytes in short reads.
//
// Any broken invariant aborts, so libFuzzer keeps the input as a crash.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "format/byte_cursor.h"
#include "platform/platform.h"
#include "testing/forwarding_platform.h"
#include "testing/profile_records.h"
#include "testing/record_reader.h"
#include "testing/record_writer.h"
#include "testing/recording_platform.h"
#include "testing/virtualising_platform.h"
#include "upgrade/profile_upgrader.h"

namespace zelvane {
namespace {

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void Check(bool holds, const char* what) {
  if (!holds) Broken(what);
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
      Check(std::string_view(encoded).starts_with(input), "a record cut between fields does not encode to the whole data");
      break;
    case ReadEnd::InsideField:
      Check(position < input.size(), "a record cut inside a field read all the data");
      Check(std::string_view(encoded).starts_with(input.substr(0, position)),
            "a record cut inside a field does not encode to the bytes read");
      break;
  }
}

// ---- the oracle: the encoding read plainly, one rule at a time ----

struct Plain {
  ReadEnd end = ReadEnd::Complete;
  Damage damage = Damage::None;
  std::size_t at = 0;       // where the reading stopped: the record's end when Complete
  std::size_t missing = 0;  // AtFieldBoundary: zero bytes the empty fields not there take
  std::size_t topEnds[39] = {};
  std::size_t topRead = 0;  // top-level fields read whole
};

class PlainReader {
 public:
  explicit PlainReader(std::string_view data) : data_(data) {}

  Plain Read(const Layout& layout) {
    Fields(layout, true);
    return plain_;
  }

 private:
  std::size_t Left() const { return data_.size() - plain_.at; }
  std::uint64_t Number(std::size_t width) {  // little-endian, `width` bytes known to be there
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= std::uint64_t{static_cast<unsigned char>(data_[plain_.at + i])} << (8 * i);
    plain_.at += width;
    return value;
  }
  bool Cut(Damage why) {  // the first reason is the one kept
    plain_.end = ReadEnd::InsideField;
    if (plain_.damage == Damage::None) plain_.damage = why;
    return false;
  }
  static std::size_t EmptySize(const Field& field) {
    if (field.kind == Kind::Byte) return 1;
    if (field.kind != Kind::Record) return 2;  // a text's length, or an array's dimension count
    std::size_t size = 0;
    for (const Field& f : field.nested->fields) size += EmptySize(f);
    return size;
  }

  bool Fields(const Layout& layout, bool top) {
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
      if (Left() == 0) {
        plain_.end = ReadEnd::AtFieldBoundary;
        for (std::size_t j = i; j < layout.fields.size(); ++j) plain_.missing += EmptySize(layout.fields[j]);
        return false;
      }
      const std::size_t start = plain_.at;
      if (!Value(layout.fields[i])) {
        if (plain_.end == ReadEnd::AtFieldBoundary)
          for (std::size_t j = i + 1; j < layout.fields.size(); ++j) plain_.missing += EmptySize(layout.fields[j]);
        else if (layout.fields[i].kind != Kind::Record)
          plain_.at = start;
        return false;
      }
      if (top) plain_.topEnds[plain_.topRead++] = plain_.at;
    }
    return true;
  }

  bool Value(const Field& field) {
    switch (field.kind) {
      case Kind::Byte:
        if (Left() < 1) return Cut(Damage::EndsInsideField);
        plain_.at += 1;
        return true;
      case Kind::Text: {
        if (Left() < 2) return Cut(Damage::EndsInsideField);
        const std::size_t length = static_cast<std::size_t>(Number(2));
        if (Left() < length) return Cut(Damage::EndsInsideField);
        plain_.at += length;
        return true;
      }
      case Kind::Record: return Fields(*field.nested, false);
      case Kind::ByteArray:
      case Kind::TextArray:
      case Kind::RecordArray: break;
    }
    if (Left() < 2) return Cut(Damage::EndsInsideField);
    const std::uint64_t dimensions = Number(2);
    if (8 * dimensions > Left()) return Cut(Damage::ClaimExceedsFile);
    // The element total, as a product that stops counting once it is past anything the data holds.
    std::uint64_t total = dimensions == 0 ? 0 : 1;
    bool zero = false;
    for (std::uint64_t d = 0; d < dimensions; ++d) {
      const std::uint64_t count = Number(4);
      Number(4);  // the lower bound
      zero = zero || count == 0;
      total = total > data_.size() ? total : total * count;
    }
    if (zero) total = 0;
    const Field element = field.kind == Kind::ByteArray   ? Field{Kind::Byte}
                          : field.kind == Kind::TextArray ? Field{Kind::Text}
                                                          : Field{Kind::Record, field.nested};
    if (total > Left() / EmptySize(element)) return Cut(Damage::ClaimExceedsFile);
    for (std::uint64_t i = 0; i < total; ++i) {
      if (Left() == 0 || !Value(element)) return Cut(Damage::EndsInsideField);  // even between an element's fields
    }
    return true;
  }

  std::string_view data_;
  Plain plain_;
};

// ---- files in memory ----

// Profiles by path, whose reads hand out at most `chunk` bytes. The recording platform over it counts
// the calls and fails at once on a misuse (a read or write after the close, a write to a profile
// opened for reading, a write that leaves a hole).
class MemoryPlatform : public testing::ForwardingPlatform {
 public:
  explicit MemoryPlatform(std::size_t chunk) : chunk_(chunk) {}

  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor) override {
    if (!files.contains(path)) Broken("a profile that is not there was opened");
    return std::make_unique<File>(files[path], chunk_);
  }

  std::map<std::string, std::string> files;

 private:
  class File : public ProfileFile {
   public:
    File(std::string& contents, std::size_t chunk) : contents_(contents), chunk_(chunk) {}
    std::uint64_t Size() const override { return contents_.size(); }
    std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
      return offset >= contents_.size() ? 0 : contents_.copy(into, std::min(size, chunk_), static_cast<std::size_t>(offset));
    }
    void WriteAt(std::uint64_t offset, std::string_view bytes) override {
      const auto at = static_cast<std::size_t>(offset);
      if (at + bytes.size() > contents_.size()) contents_.resize(at + bytes.size());
      contents_.replace(at, bytes.size(), bytes);
      written_ = true;
    }
    bool Written() const override { return written_; }
    void Truncate(std::uint64_t) override { Broken("a write that did not fail is taken back"); }
    void Close() override {}

   private:
    std::string& contents_;
    std::size_t chunk_;
    bool written_ = false;
  };

  std::size_t chunk_;
};

// Windows' file virtualisation over the profiles in memory.
class MemoryVirtualising : public testing::VirtualisingPlatform {
 public:
  explicit MemoryVirtualising(MemoryPlatform& memory) : VirtualisingPlatform("/Program Files", "/VirtualStore/", memory), memory_(memory) {}

 private:
  bool Exists(const std::string& path) override { return memory_.files.contains(path); }
  void MakeCopy(const std::string& from, const std::string& to) override { memory_.files[to] = memory_.files[from]; }
  MemoryPlatform& memory_;
};

// One profile in memory, at an ordinary path or, in a virtualised run, below a virtualised place.
struct MemoryProfile {
  static constexpr const char* kPlain = "profile.qdx";
  static constexpr const char* kInstalled = "/Program Files/Q/profile.qdx";

  MemoryProfile(std::string contents, std::size_t chunk, bool virtualised = false)
      : memory(chunk), path(virtualised ? kInstalled : kPlain) {
    memory.files[path] = std::move(contents);
  }
  // What the user's Quindrel reads: the user's copy once there is one.
  const std::string& Contents() const {
    const auto copy = memory.files.find(windows.CopyOf(path));
    return copy != memory.files.end() && path == kInstalled ? copy->second : memory.files.at(path);
  }

  MemoryPlatform memory;
  MemoryVirtualising windows{memory};
  std::string path;
  testing::RecordingPlatform recording{path == kInstalled ? static_cast<Platform&>(windows) : memory};
};

// ---- the upgrade against the oracle ----

// What the upgrade must do to `input`: the result, the file afterwards, and whether that file must
// then begin with a whole 2.0.12 record (it does when the upgrade had its bytes to add, whether
// they were there already or written).
struct Expectation {
  UpgradeResult result;
  std::string file;
  bool current = false;
};
Expectation Expected(std::string_view input) {
  const Plain legacy = PlainReader(input).Read(layouts::LegacyProfileRecord);
  const std::string file(input);
  if (legacy.end == ReadEnd::InsideField) return {{UpgradeOutcome::Damaged, legacy.damage}, file};
  const auto empty = [&](std::size_t field) {  // not there, or an empty text: its length only
    return field >= legacy.topRead || legacy.topEnds[field] - legacy.topEnds[field - 1] == 2;
  };
  if (empty(35) && empty(36)) return {{UpgradeOutcome::NoChangeNeeded}, file};  // whatever follows it
  if (legacy.end == ReadEnd::Complete) {
    const Plain added = PlainReader(input.substr(legacy.at)).Read(layouts::AddedInCurrent);
    if (added.end == ReadEnd::Complete) return {{UpgradeOutcome::AlreadyCurrent}, file};  // whatever follows it
  }
  // The empty values of the fields a short file lacks, then an empty Text32 and a zero Byte5: all zero bytes.
  std::string upgraded = file;
  const std::size_t end = legacy.at + legacy.missing + 3;
  if (upgraded.size() < end) upgraded.resize(end);
  upgraded.replace(legacy.at, end - legacy.at, end - legacy.at, '\0');
  return {{upgraded != file ? UpgradeOutcome::Upgraded : UpgradeOutcome::NoChangeNeeded}, upgraded, true};
}

UpgradeResult Upgrade(MemoryProfile& file, std::size_t buffer, UpgradeMode mode) {
  UpgradeResult result;
  try {
    result = ProfileUpgrader(buffer).Upgrade(file.recording, file.path, mode);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Broken("the upgrade of an in-memory file throws");
  }
  const testing::RecordingPlatform& calls = file.recording;
  Check(calls.closes == calls.opens, "a profile was not closed once for each open");
  // Read first; opened for writing only to be written.
  const bool writes = mode == UpgradeMode::Upgrade && result.outcome == UpgradeOutcome::Upgraded;
  Check(calls.purposes == (writes ? std::vector<OpenFor>{OpenFor::Reading, OpenFor::Writing} : std::vector<OpenFor>{OpenFor::Reading}),
        "a profile was opened for writing without being changed, or not read first");
  return result;
}

// The streaming upgrade, through buffers as small as a cursor takes and through the usual one,
// decides and writes exactly what the oracle says, a check says the same and writes nothing, and
// a second upgrade changes nothing.
void CheckUpgrade(std::string_view input) {
  const auto [expected, expectedFile, current] = Expected(input);
  {  // the reader and the scan share a walk: the oracle checks it from outside
    Record record;
    RecordReader reader(input);
    const Plain plain = PlainReader(input).Read(layouts::LegacyProfileRecord);
    Check(reader.ReadRecord(layouts::LegacyProfileRecord, record) == plain.end && reader.Position() == plain.at,
          "the reader ends otherwise than the oracle");
  }
  const std::size_t chunk = 1 + input.size() % 61;
  const std::size_t smallBuffer = ByteCursor::kMinBuffer + input.size() % 23;
  for (const std::size_t buffer : {smallBuffer, ProfileUpgrader::kDefaultBufferSize}) {
    MemoryProfile check(std::string(input), chunk);
    const UpgradeResult checked = Upgrade(check, buffer, UpgradeMode::Check);
    Check(check.Contents() == input && check.recording.writes == 0, "a check changed the file");

    MemoryProfile file(std::string(input), chunk);
    const UpgradeResult result = Upgrade(file, buffer, UpgradeMode::Upgrade);
    Check(result == checked, "a check and an upgrade decided differently");
    Check(result == expected, "the upgrade decided otherwise than the oracle");
    Check(file.Contents() == expectedFile, "the upgraded file is not the oracle's");
    Check((result.outcome == UpgradeOutcome::Upgraded) == (file.recording.writes > 0), "the outcome says otherwise than the writes");

    // Virtualised: the same, in a copy of the user's own that only a change makes.
    MemoryProfile virtualised(std::string(input), chunk, true);
    Check(Upgrade(virtualised, buffer, UpgradeMode::Upgrade) == expected, "a virtualised upgrade decided otherwise");
    Check(virtualised.Contents() == expectedFile, "the user's copy is not the oracle's");
    Check(virtualised.memory.files.at(virtualised.path) == input, "a virtualised upgrade changed the installed file");
    Check(virtualised.memory.files.size() == (result.outcome == UpgradeOutcome::Upgraded ? 2u : 1u),
          "a copy was made of a profile that needed no change, or none of one that did");
    if (!current) continue;

    // The file now starts with a whole 2.0.12 record, and a second upgrade changes nothing.
    const std::string after = file.Contents();
    Check(PlainReader(after).Read(layouts::CurrentProfileRecord).end == ReadEnd::Complete,
          "the upgraded file does not hold a whole 2.0.12 record");
    MemoryProfile second(after, chunk);
    Upgrade(second, buffer, UpgradeMode::Upgrade);
    Check(second.Contents() == after && second.recording.writes == 0, "a second upgrade changed the file");
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
