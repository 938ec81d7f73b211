#pragma once
// Profile files as Quindrel writes them, encoded with the project's own format library, for the
// end-to-end tests and the demo. Every builder is deterministic: the same arguments give the same
// bytes.

#include <string>
#include <string_view>

namespace zelvane::e2e {

enum class LegacySample {
  Plain,       // every text filled, no arrays
  RichArrays,  // nested records and arrays of one, two and three dimensions, odd lower bounds
  Large,       // about a megabyte, most of it in one byte array
  BlankTail,   // Text30 and Text31 both empty: the tool leaves it alone
  OnlyText30,  // Text31 empty, Text30 not: still upgraded
  OnlyText31,  // Text30 empty, Text31 not: still upgraded
};

// A complete legacy (37-field) profile; `seed` varies the texts so files differ.
std::string LegacyProfile(LegacySample kind, std::string_view seed);

// A 2.0.12 profile whose Text32 and Byte5 hold the given values.
std::string CurrentProfile(std::string_view seed, std::string_view text32, unsigned char byte5);

// What the tool makes of a legacy profile: the same bytes followed by an empty Text32 and Byte5.
std::string Upgraded(std::string_view legacy);

// The legacy profile cut inside its last text: a damaged file the tool must not touch.
std::string Truncated(std::string_view legacy);

}  // namespace zelvane::e2e
