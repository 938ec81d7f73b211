#pragma once
// Decodes a record from the bytes at the start of a buffer, by a layout table.

#include <cstddef>
#include <string_view>

#include "format/byte_cursor.h"
#include "format/record.h"

namespace zelvane {

// Where the data ended, as far as the record is concerned.
enum class ReadEnd : std::uint8_t {
  Complete,         // every field of the layout was present
  AtFieldBoundary,  // the data ended between two fields; the fields beyond it are empty
  InsideField,      // the data ended inside a field (a text, an array header or an array element):
                    // that field and every field after it are empty
};

// Why a field was cut short.
enum class Damage : std::uint8_t {
  None,
  EndsInsideField,   // a text or an array's elements run past the end of the data
  ClaimExceedsFile,  // an array claims more elements than the rest of the data could hold
};

class RecordReader {
 public:
  explicit RecordReader(std::string_view data) : cursor_(data) {}

  // Sets `record` to the empty value of `layout`, then decodes the fields in order from the
  // current position. Running out of data is not an error; it is reported by the result.
  ReadEnd ReadRecord(const Layout& layout, Record& record);

  // The end of the last field read whole: the record's encoded length when it was complete.
  std::size_t Position() const { return position_; }

 private:
  ByteCursor cursor_;
  std::size_t position_ = 0;
};

}  // namespace zelvane
