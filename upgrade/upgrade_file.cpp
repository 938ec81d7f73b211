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

// Receives an encoding of the file's new contents and keeps the part that differs from the file.
class ChangedTail : public ByteStream {
 public:
  ChangedTail(std::string_view file, std::size_t readLength, const std::string& path)
      : file_(file), readLength_(readLength), path_(path) {}

  void Write(std::string_view bytes) override {
    std::size_t same = 0;
    if (!differs_) {
      const std::string_view old = pos_ < file_.size() ? file_.substr(pos_, bytes.size()) : std::string_view();
      same = old.compare(bytes.substr(0, old.size())) == 0  // the common case, compared fast
                 ? old.size()
                 : static_cast<std::size_t>(std::mismatch(old.begin(), old.end(), bytes.begin()).first - old.begin());
      if (same < bytes.size()) {
        differs_ = true;
        offset_ = pos_ + same;
        if (offset_ < readLength_) Refuse();
      }
    }
    if (differs_) tail_.append(bytes.substr(same));
    pos_ += bytes.size();
  }

  void Finish() const {
    if (pos_ < readLength_) Refuse();
  }
  bool Any() const { return differs_; }
  std::size_t Offset() const { return offset_; }
  std::string_view Bytes() const { return tail_; }

 private:
  [[noreturn]] void Refuse() const {
    throw std::logic_error("re-encoding the profile \"" + path_ + "\" would change bytes it was read from");
  }

  std::string_view file_;
  std::size_t readLength_;
  const std::string& path_;
  std::size_t pos_ = 0, offset_ = 0;
  bool differs_ = false;
  std::string tail_;
};

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

UpgradeResult UpgradeProfileFile(Platform& platform, const std::string& path) {
  const std::string data = platform.ReadWholeFile(path);

  Record fields;  // with room for the two fields the new layout adds
  fields.fields.reserve(CurrentProfileRecord::layout.fields.size());
  RecordReader reader(data);
  const ReadEnd end = reader.ReadRecord(LegacyProfileRecord::layout, fields);
  LegacyProfileRecord legacy(std::move(fields));
  if (end == ReadEnd::InsideField) return {UpgradeOutcome::Skipped, SkipReason::Damaged};
  if (end == ReadEnd::Complete && IsCurrentTail(std::string_view(data).substr(reader.Position())))
    return {UpgradeOutcome::Skipped, SkipReason::AlreadyCurrent};
  if (HasBlankTail(legacy)) return {UpgradeOutcome::Skipped, SkipReason::BlankTail};

  // The new record is compared with the file as it is encoded: only the bytes from the first
  // one that differs are kept, and written. Those never include a byte that was read.
  ChangedTail changed(data, reader.Position(), path);
  RecordWriter writer(changed);
  writer.WriteRecord(CurrentProfileRecord::layout, ToCurrent(std::move(legacy)));
  changed.Finish();
  if (changed.Any()) platform.WriteAt(path, changed.Offset(), changed.Bytes());
  return {UpgradeOutcome::Upgraded, SkipReason::None};
}

}  // namespace zelvane
