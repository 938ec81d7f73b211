#include "upgrade/upgrade_file.h"

#include <algorithm>
#include <stdexcept>

#include "format/record_reader.h"
#include "format/record_writer.h"

namespace zelvane {
namespace {

// True when `tail` is exactly the encoding of one Text followed by one Byte: the two fields a
// 2.0.12 record has beyond the legacy ones.
bool IsCurrentTail(std::string_view tail) {
  if (tail.size() < 3) return false;
  const std::size_t textLength =
      static_cast<unsigned char>(tail[0]) | static_cast<std::size_t>(static_cast<unsigned char>(tail[1])) << 8;
  return tail.size() == 2 + textLength + 1;
}

}  // namespace

bool HasBlankTail(const LegacyProfileRecord& record) {
  return record[LegacyProfileRecord::Text30].empty() && record[LegacyProfileRecord::Text31].empty();
}

CurrentProfileRecord ToCurrent(LegacyProfileRecord legacy) {
  CurrentProfileRecord current;
  std::move(legacy.fields.begin(), legacy.fields.begin() + ProfileFields::SharedFieldCount,
            current.fields.begin());
  return current;
}

UpgradeResult UpgradeProfileFile(Platform& platform, const std::string& path) {
  const std::string data = platform.ReadWholeFile(path);

  LegacyProfileRecord legacy;
  RecordReader reader(data);
  const ReadEnd end = reader.ReadRecord(LegacyProfileRecord::layout, legacy);
  if (end == ReadEnd::InsideField) return {UpgradeOutcome::Skipped, SkipReason::Damaged};
  if (end == ReadEnd::Complete && IsCurrentTail(std::string_view(data).substr(reader.Position())))
    return {UpgradeOutcome::Skipped, SkipReason::AlreadyCurrent};
  if (HasBlankTail(legacy)) return {UpgradeOutcome::Skipped, SkipReason::BlankTail};

  const std::size_t readLength = reader.Position();
  RecordWriter writer;
  writer.Reserve(readLength + 3);
  writer.WriteRecord(CurrentProfileRecord::layout, ToCurrent(std::move(legacy)));
  const std::string& encoded = writer.Bytes();
  if (encoded.size() < readLength || encoded.compare(0, readLength, data, 0, readLength) != 0)
    throw std::logic_error("re-encoding the profile \"" + path + "\" would change bytes it was read from");

  // Only the bytes that differ are written: those past the legacy record.
  const std::size_t overlap = std::min(encoded.size(), data.size());
  const std::size_t first = static_cast<std::size_t>(
      std::mismatch(encoded.begin() + static_cast<std::ptrdiff_t>(readLength),
                    encoded.begin() + static_cast<std::ptrdiff_t>(overlap),
                    data.begin() + static_cast<std::ptrdiff_t>(readLength))
          .first -
      encoded.begin());
  if (first < encoded.size())
    platform.WriteAt(path, first, std::string_view(encoded).substr(first));
  return {UpgradeOutcome::Upgraded, SkipReason::None};
}

}  // namespace zelvane
