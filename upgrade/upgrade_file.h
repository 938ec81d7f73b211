#pragma once
// Upgrading one profile file in place, from the legacy layout to the 2.0.12 layout.

#include <string>

#include "format/profile_layouts.h"
#include "platform/platform.h"

namespace zelvane {

enum class UpgradeOutcome : std::uint8_t { Upgraded, Skipped };

enum class SkipReason : std::uint8_t {
  None,            // the file was upgraded
  BlankTail,       // Text30 and Text31 are both empty: nothing to carry into the new layout
  AlreadyCurrent,  // the file already holds a 2.0.12 record
  Damaged,         // the data ends inside a field: rewriting would corrupt it further
};

struct UpgradeResult {
  UpgradeOutcome outcome;
  SkipReason reason = SkipReason::None;
  friend bool operator==(const UpgradeResult&, const UpgradeResult&) = default;
};

// True when fields 36 and 37 (Text30, Text31) are both empty.
bool HasBlankTail(const LegacyProfileRecord& record);

// The 2.0.12 record holding fields 1 to 37 of `legacy`; Text32 and Byte5 stay empty.
CurrentProfileRecord ToCurrent(LegacyProfileRecord legacy);

// Reads the record at the start of the file and, unless it is to be skipped, writes it back in
// the 2.0.12 layout. Bytes that were read keep their values: only the bytes past them change,
// and the file is never shortened. Failures of the file system propagate as PlatformError.
UpgradeResult UpgradeProfileFile(Platform& platform, const std::string& path);

}  // namespace zelvane
