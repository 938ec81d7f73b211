#include "format/record_scan.h"

#include <stdexcept>

#include "format/layout_walk.h"

namespace zelvane {
namespace {

// No values at all: every slot is nothing, bodies are passed over, and only where the top-level
// fields end is kept.
struct NoValues {
  static constexpr bool kKeepsValues = false;
  struct Nothing {};
  using RecordSlot = Nothing;
  using FieldSlot = Nothing;
  using TextSlot = Nothing;

  explicit NoValues(RecordScan& scan) : scan_(scan) {}

  Nothing Field(Nothing, std::size_t) { return {}; }
  Nothing AsRecord(Nothing) { return {}; }
  Nothing AsText(Nothing) { return {}; }
  Nothing AsByteArray(Nothing) { return {}; }
  Nothing AsTextArray(Nothing) { return {}; }
  Nothing AsRecordArray(Nothing) { return {}; }

  void SetByte(Nothing, std::uint8_t) {}
  bool TakeText(Nothing, ByteCursor& cursor, std::size_t n) { return cursor.Skip(n); }
  void SetDimensions(Nothing, std::size_t) {}
  void SetDimension(Nothing, std::size_t, Dimension) {}
  void SizeElements(Nothing, std::uint64_t, const zelvane::Field&) {}
  bool TakeBytes(Nothing, ByteCursor& cursor, std::uint64_t total) { return cursor.Skip(total); }
  Nothing TextElement(Nothing, std::uint64_t) { return {}; }
  Nothing RecordElement(Nothing, std::uint64_t) { return {}; }
  void Clear(Nothing, const zelvane::Field&) {}

  void FieldEnds(std::size_t i, std::uint64_t end) {
    scan_.fieldEnds[i] = end;
    scan_.fieldsRead = i + 1;
  }

  RecordScan& scan_;
};

}  // namespace

RecordScan ScanRecord(ByteCursor& cursor, const Layout& layout) {
  if (layout.fields.size() > RecordScan::kMaxFields) throw std::logic_error("a layout too wide to scan");
  RecordScan scan;
  scan.start = cursor.Position();
  NoValues values(scan);
  LayoutWalk<NoValues> walk(cursor, values);
  scan.end = walk.Walk(layout, {});
  scan.damage = walk.WhyCut();
  scan.wholeEnd = walk.WholeEnd();
  scan.missing = walk.Missing();
  return scan;
}

}  // namespace zelvane
