#pragma once
// How a walk of a record's encoding ended, and why a field was cut short.

#include <cstdint>

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
  ClaimExceedsFile,  // an array claims more elements (or dimensions) than the rest of the data could hold
};

}  // namespace zelvane
