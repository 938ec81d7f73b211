#pragma once
// Profiles made by code, for the unit tests, the fuzz seeds, the end-to-end driver, the demo and
// the benchmarks; and where their fields lie, found by scanning them. The same arguments give the
// same bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "testing/profile_records.h"
#include "testing/record_writer.h"

namespace zelvane::samples {

enum class Arrays {
  None,   // the blocks hold texts only
  Rich,   // items with texts and an empty one; arrays of one, two and three dimensions; negative and
          // extreme lower bounds; a dimension of count 0 beside one of 4,294,967,295
  Large,  // about `mebibytes` MiB: large byte arrays, text arrays of varied lengths, many items
};

struct Sample {
  std::string text30 = "thirty", text31 = "thirty-one";  // fields 36 and 37: an upgrade needs one of them
  std::string seed = "sample";                           // varies the other texts, so that profiles differ
  Arrays arrays = Arrays::Rich;
  double mebibytes = 1;                                  // of Arrays::Large
};

// A legacy profile: every text filled from the seed but one left empty, bytes 1, 0, 0x80 and 0xFF,
// code-page bytes and a NUL inside texts.
LegacyProfileRecord Legacy(const Sample& sample = {});
// A 2.0.12 profile holding the same 37 fields, then Text32 and Byte5 as given.
CurrentProfileRecord Current(const Sample& sample = {}, std::string text32 = "", std::uint8_t byte5 = 0);
BlockItem ItemOf(std::uint32_t seed, std::size_t textLength);

template <const Layout& L>
std::string Encode(const RecordOf<L>& record) {
  return EncodeRecord(L, record);
}

// What an upgrade makes of a legacy profile: its bytes followed by an empty Text32 and Byte5.
std::string Upgraded(std::string_view legacy);
// The record one byte short of its end: cut inside its last field, whatever that holds.
std::string Truncated(std::string_view record);

// Where field `field` of the `layout` record that starts at `from` in `bytes` begins. The fields
// before it must be there whole.
std::size_t FieldStart(std::string_view bytes, std::size_t field,
                       const Layout& layout = layouts::LegacyProfileRecord, std::size_t from = 0);

// A legacy record's bytes split around the elements of one of a block's arrays (`array` is its
// ProfileBlock field), whose header claims `bounds`: head, then the elements, then tail is a file
// holding an array of any size, made without building its values.
struct AroundElements {
  std::string head;  // up to the array's header, included
  std::string tail;  // the rest of the record
  std::size_t at;    // where the array's field starts
};
AroundElements SplitAtArray(LegacyProfileRecord record, FieldRef<Record> block, std::size_t array,
                            const ArrayBounds& bounds);

// A legacy profile of `size` bytes whose array `array` of BlockA claims `bounds`, its fields
// before that array empty and zero bytes after its header. With the default bounds, 4,294,967,295
// elements: a claim no 100-byte file can back.
struct Claim {
  std::string bytes;
  std::size_t at;  // where the array's field starts
};
Claim ClaimingProfile(std::size_t array, const ArrayBounds& bounds = {{{0xFFFFFFFFu, 0}}}, std::size_t size = 100);

// Array headers claiming more than data of `size` bytes could back, each to be refused at its
// header before anything is allocated for the claim: as the record's one field (ArrayClaim), and
// as one of BlockA's arrays in a profile of that size (ClaimingProfile). `array` is a ProfileBlock
// field: its items, bytes or texts.
struct HostileClaim {
  const char* name;
  std::size_t array;
  ArrayBounds bounds;
  std::size_t size = 100;
};
const std::vector<HostileClaim>& HostileClaims();
// The header, then zero bytes up to the claim's size (a header longer than that is cut there).
std::string ArrayClaim(const HostileClaim& claim);

}  // namespace zelvane::samples
