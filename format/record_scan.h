#pragma once
// Walks a record's encoding without building its values, by the same walk RecordReader uses:
// where the record ends, whether the data ended inside a field, and where each of its top-level
// fields lies. Text and byte-array bodies are passed over, and those the cursor's buffer does not
// already hold are never read, so a record of any size is scanned in the cursor's memory.

#include <array>
#include <cstdint>

#include "format/byte_cursor.h"
#include "format/layout.h"
#include "format/walk_outcome.h"

namespace zelvane {

struct RecordScan {
  static constexpr std::size_t kMaxFields = 64;  // top-level fields a scanned layout may have

  ReadEnd end = ReadEnd::Complete;
  Damage damage = Damage::None;   // InsideField: why
  std::uint64_t start = 0;        // where the record starts
  std::uint64_t wholeEnd = 0;     // the end of the last field read whole: the record's end when Complete
  std::uint64_t missing = 0;      // AtFieldBoundary: the encoded size of the empty values of the fields not there
  std::size_t fieldsRead = 0;     // top-level fields read whole
  std::array<std::uint64_t, kMaxFields> fieldEnds{};

  // The encoded length of top-level field `i`; 0 when it was not read whole.
  std::uint64_t FieldLength(std::size_t i) const {
    if (i >= fieldsRead) return 0;
    return fieldEnds[i] - (i == 0 ? start : fieldEnds[i - 1]);
  }
};

// Scans a record of `layout` from the cursor's position; the cursor is left past what was read.
RecordScan ScanRecord(ByteCursor& cursor, const Layout& layout);

}  // namespace zelvane
