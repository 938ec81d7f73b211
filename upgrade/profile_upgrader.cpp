#include "upgrade/profile_upgrader.h"

#include <algorithm>

#include "format/byte_cursor.h"
#include "format/profile_layouts.h"
#include "format/record_scan.h"

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
  return legacy.FieldLength(layouts::kText30) <= 2 && legacy.FieldLength(layouts::kText31) <= 2;
}

// The bytes a legacy record lacks to be a 2.0.12 one: the empty values of the `missing` bytes of
// legacy fields the file does not hold, then the empty Text32 and Byte5. Every empty value is
// zero bytes, so these are as many zero bytes as there are to add.
std::string_view BytesToAdd(std::uint64_t missing) {
  static constexpr char kEmptyCurrent[MinEncodedSize(layouts::CurrentProfileRecord)] = {};
  constexpr std::size_t kAdded = MinEncodedSize(layouts::AddedInCurrent);
  return std::string_view(kEmptyCurrent, static_cast<std::size_t>(missing) + kAdded);
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

ProfileUpgrader::ProfileUpgrader(std::size_t bufferSize)
    : buffer_(new char[std::max(bufferSize, ByteCursor::kMinBuffer)]),
      bufferSize_(std::max(bufferSize, ByteCursor::kMinBuffer)) {}

UpgradeResult ProfileUpgrader::Upgrade(Platform& platform, const std::string& path, UpgradeMode mode,
                                       ReadProgress* progress) {
  std::unique_ptr<ProfileFile> file = platform.OpenProfile(path, OpenFor::Reading);
  const std::uint64_t size = file->Size();
  const FileVersion read = file->Version();
  FileSource source(*file, progress);
  ByteCursor cursor(source, size, {buffer_.get(), bufferSize_});

  const RecordScan legacy = ScanRecord(cursor, layouts::LegacyProfileRecord);
  const auto finish = [&](UpgradeResult result) {
    file->Close();
    return result;
  };
  if (legacy.end == ReadEnd::InsideField) return finish({UpgradeOutcome::Damaged, legacy.damage});
  // One more whole text and one more byte: a 2.0.12 record, whatever a shorter save left after it.
  if (legacy.end == ReadEnd::Complete && ScanRecord(cursor, layouts::AddedInCurrent).end == ReadEnd::Complete)
    return finish({UpgradeOutcome::AlreadyCurrent});
  if (HasBlankTail(legacy)) return finish({UpgradeOutcome::NoChangeNeeded});

  // What follows the record, compared with what is to be there: only the bytes from the first
  // one that differs are written, and none when all are the same.
  const std::string_view add = BytesToAdd(legacy.missing);
  char old[MinEncodedSize(layouts::CurrentProfileRecord)];  // the most there can be to add
  const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(add.size(), size - legacy.wholeEnd));
  cursor.Seek(legacy.wholeEnd);
  if (!cursor.Copy(old, have)) throw PlatformError("read the file", path, "The file ended sooner than its size said.");
  const auto same = static_cast<std::size_t>(std::mismatch(old, old + have, add.begin()).first - old);
  if (same == add.size()) return finish({UpgradeOutcome::NoChangeNeeded});
  if (mode == UpgradeMode::Check) return finish({UpgradeOutcome::Upgraded});

  // Opened for writing only now: no other program may write between the two opens, so what was
  // read must still be there.
  file->Close();
  file = platform.OpenProfile(path, OpenFor::Writing);
  char now[sizeof old];
  std::size_t got = 0;  // read as the cursor reads: a read may give fewer bytes than asked for
  for (std::size_t n = 1; got < have && n > 0; got += n) n = file->ReadAt(legacy.wholeEnd + got, now + got, have - got);
  if (!(file->Version() == read) || got != have || !std::equal(old, old + have, now))
    throw PlatformError("write to the file", path,
                        "Another program changed the file while Zelvane read it, so nothing was written.", Cause::InUse);
  WriteOrRestore(*file, legacy.wholeEnd + same, add.substr(same), std::string_view(old + same, have - same), size);
  return finish({UpgradeOutcome::Upgraded});
}

}  // namespace zelvane
