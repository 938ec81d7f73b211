#include "upgrade/upgrade_file.h"

#include <algorithm>

#include "format/byte_cursor.h"
#include "format/record_scan.h"
#include "format/record_writer.h"

namespace zelvane {
namespace {

class FileSource : public ByteSource {
 public:
  FileSource(ProfileFile& file, ReadProgress* progress) : file_(file), progress_(progress) {}
  std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
    if (progress_ != nullptr) progress_->OnRead();
    return file_.ReadAt(offset, into, size);
  }

 private:
  ProfileFile& file_;
  ReadProgress* progress_;
};

// Fields 36 and 37 (Text30, Text31) are both empty, or not there: 2 bytes is an empty text.
bool HasBlankTail(const RecordScan& legacy) {
  return legacy.FieldLength(LegacyProfileRecord::Text30.index) <= 2 &&
         legacy.FieldLength(LegacyProfileRecord::Text31.index) <= 2;
}

// The bytes a legacy record lacks to be a 2.0.12 one: the empty values of the `missing` bytes of
// legacy fields the file does not hold, then the empty Text32 and Byte5. Empty values encode the
// same wherever they stand, so these are the last bytes of the empty 2.0.12 record.
std::string_view BytesToAdd(std::uint64_t missing) {
  static const std::string emptyCurrent = EncodeRecord(CurrentProfileRecord::layout, CurrentProfileRecord{});
  static const std::size_t emptyLegacy = MinEncodedSize(LegacyProfileRecord::layout);
  return std::string_view(emptyCurrent).substr(emptyLegacy - static_cast<std::size_t>(missing));
}

// Writes `bytes` at `offset` of a file that was `size` bytes long and held `old` there. When the
// write fails after bytes reached the file, the file gets back its length and those bytes before
// the failure goes on; one that wrote nothing (writing was refused) needs nothing given back.
void WriteOrRestore(ProfileFile& file, std::uint64_t offset, std::string_view bytes, std::string_view old,
                    std::uint64_t size) {
  try {
    file.WriteAt(offset, bytes);
  } catch (const PlatformError& failure) {
    if (!file.Written()) throw;
    try {
      file.Truncate(size);
      file.WriteAt(offset, old);
    } catch (const PlatformError& restore) {
      throw PlatformError(failure.Action(), failure.Path(),
                          failure.Reason() + " Giving the profile back its former end failed too, so it may now " +
                              "end differently: could not " + restore.Action() + ". " + restore.Reason());
    }
    throw;
  }
}

}  // namespace

bool HasBlankTail(const LegacyProfileRecord& record) {
  return record[LegacyProfileRecord::Text30].empty() && record[LegacyProfileRecord::Text31].empty();
}

CurrentProfileRecord ToCurrent(LegacyProfileRecord legacy) {
  Record fields = std::move(legacy);  // fields 1 to 37, as they are
  fields.fields.emplace_back(std::in_place_type<Text>);             // Text32
  fields.fields.emplace_back(std::in_place_type<std::uint8_t>, 0);  // Byte5
  return CurrentProfileRecord(std::move(fields));
}

ProfileUpgrader::ProfileUpgrader(std::size_t bufferSize)
    : buffer_(new char[std::max(bufferSize, ByteCursor::kMinBuffer)]),
      bufferSize_(std::max(bufferSize, ByteCursor::kMinBuffer)) {}

UpgradeResult ProfileUpgrader::Upgrade(Platform& platform, const std::string& path, UpgradeMode mode,
                                       ReadProgress* progress) {
  const std::unique_ptr<ProfileFile> file =
      platform.OpenProfile(path, mode == UpgradeMode::Check ? OpenFor::Reading : OpenFor::Upgrading);
  const std::uint64_t size = file->Size();
  FileSource source(*file, progress);
  ByteCursor cursor(source, size, {buffer_.get(), bufferSize_});

  const RecordScan legacy = ScanRecord(cursor, LegacyProfileRecord::layout);
  const auto finish = [&](UpgradeResult result) {
    file->Close();
    return result;
  };
  if (legacy.end == ReadEnd::InsideField) return finish({UpgradeOutcome::Skipped, SkipReason::Damaged, legacy.damage});
  if (legacy.end == ReadEnd::Complete) {  // exactly one more text and one more byte: a 2.0.12 record
    const RecordScan added = ScanRecord(cursor, layouts::AddedInCurrent);
    if (added.end == ReadEnd::Complete && cursor.Remaining() == 0)
      return finish({UpgradeOutcome::Skipped, SkipReason::AlreadyCurrent});
  }
  if (HasBlankTail(legacy)) return finish({UpgradeOutcome::Skipped, SkipReason::BlankTail});

  // What follows the record, compared with what is to be there: only the bytes from the first
  // one that differs are written, and none when all are the same.
  const std::string_view add = BytesToAdd(legacy.missing);
  char old[128];  // room for the whole of an empty 2.0.12 record, the most there can be to add
  const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(add.size(), size - legacy.wholeEnd));
  cursor.Seek(legacy.wholeEnd);
  if (!cursor.Copy(old, have)) throw PlatformError("read the file", path, "The file ended sooner than its size said.");
  const auto same = static_cast<std::size_t>(std::mismatch(old, old + have, add.begin()).first - old);
  const bool write = same < add.size();
  if (write && mode == UpgradeMode::Upgrade)
    WriteOrRestore(*file, legacy.wholeEnd + same, add.substr(same), std::string_view(old + same, have - same), size);
  return finish({UpgradeOutcome::Upgraded, SkipReason::None, Damage::None, write});
}

UpgradeResult UpgradeProfileFile(Platform& platform, const std::string& path) {
  ProfileUpgrader upgrader(64 * 1024);
  return upgrader.Upgrade(platform, path);
}

}  // namespace zelvane
