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

// What a profile needs, decided from what one handle reads: the result, and for an upgrade the
// bytes to write from `at` (from the first one that differs) and what lies there now.
struct Decision {
  UpgradeResult result;
  std::uint64_t at = 0, size = 0;  // size: the file's, when it was opened
  std::string_view add = {}, old = {};
};

// Writes what `decision` says. When the write fails after bytes reached the file, the file gets
// back its length and those bytes before the failure goes on; one that wrote nothing (writing was
// refused) needs nothing given back.
void WriteOrRestore(ProfileFile& file, const std::string& path, const Decision& decision) {
  try {
    file.WriteAt(decision.at, decision.add);
  } catch (const PlatformError& failure) {
    if (!file.Written()) throw;
    try {
      file.Truncate(decision.size);
      file.WriteAt(decision.at, decision.old);
    } catch (const PlatformError& restore) {
      throw PlatformError(failure.Action(), path,
                          failure.Reason() + " Giving the profile back its former end failed too, so it may now " +
                              "end differently: could not " + restore.Action() + ". " + restore.Reason());
    }
    throw;
  }
}


// Decides what the profile open through `file` needs, from the bytes it reads: damaged, a blank
// tail, a 2.0.12 record already, or the bytes an upgrade adds compared with what follows the
// record. `old` holds what lies where those bytes go.
Decision Decide(ProfileFile& file, const std::string& path, ReadProgress* progress, std::span<char> buffer,
                std::span<char, MinEncodedSize(layouts::CurrentProfileRecord)> old) {
  Decision decision{{UpgradeOutcome::NoChangeNeeded}};
  decision.size = file.Size();
  FileSource source(file, progress);
  ByteCursor cursor(source, decision.size, buffer);
  const RecordScan legacy = ScanRecord(cursor, layouts::LegacyProfileRecord);
  if (legacy.end == ReadEnd::InsideField) return {{UpgradeOutcome::Damaged, legacy.damage}};
  if (HasBlankTail(legacy)) return decision;
  // One more whole text and one more byte: a 2.0.12 record, whatever a shorter save left after it.
  if (legacy.end == ReadEnd::Complete && ScanRecord(cursor, layouts::AddedInCurrent).end == ReadEnd::Complete)
    return {{UpgradeOutcome::AlreadyCurrent}};

  // What follows the record, compared with what is to be there: only the bytes from the first
  // one that differs are written, and none when all are the same.
  const std::string_view add = BytesToAdd(legacy.missing);
  const auto have = static_cast<std::size_t>(std::min<std::uint64_t>(add.size(), decision.size - legacy.wholeEnd));
  cursor.Seek(legacy.wholeEnd);
  if (!cursor.Copy(old.data(), have)) throw PlatformError("read the file", path, "The file ended sooner than its size said.");
  const auto same = static_cast<std::size_t>(std::mismatch(old.data(), old.data() + have, add.begin()).first - old.data());
  if (same == add.size()) return decision;
  decision.result = {UpgradeOutcome::Upgraded};
  decision.at = legacy.wholeEnd + same;
  decision.add = add.substr(same);
  decision.old = std::string_view(old.data() + same, have - same);
  return decision;
}

}  // namespace

ProfileUpgrader::ProfileUpgrader(std::size_t bufferSize)
    : buffer_(new char[std::max(bufferSize, ByteCursor::kMinBuffer)]),
      bufferSize_(std::max(bufferSize, ByteCursor::kMinBuffer)) {}

UpgradeResult ProfileUpgrader::Upgrade(Platform& platform, const std::string& path, UpgradeMode mode,
                                       ReadProgress* progress) {
  char old[MinEncodedSize(layouts::CurrentProfileRecord)];  // the most there can be to add
  const std::span<char> buffer(buffer_.get(), bufferSize_);
  std::unique_ptr<ProfileFile> file = platform.OpenProfile(path, OpenFor::Reading);
  Decision decision = Decide(*file, path, progress, buffer, old);
  file->Close();
  if (decision.result.outcome != UpgradeOutcome::Upgraded || mode == UpgradeMode::Check) return decision.result;

  // Opened for writing only now, and decided again from what this handle reads, since another
  // program may have saved the profile between the two opens, and Windows may have completed this
  // open on a copy of its own (file virtualisation). Nobody else writes while it is held.
  file = platform.OpenProfile(path, OpenFor::Writing);
  decision = Decide(*file, path, progress, buffer, old);
  if (decision.result.outcome == UpgradeOutcome::Upgraded) WriteOrRestore(*file, path, decision);
  file->Close();
  return decision.result;
}

}  // namespace zelvane
