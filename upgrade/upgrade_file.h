#pragma once
// Upgrading one profile file in place, from the legacy layout to the 2.0.12 layout.

#include <cstdint>
#include <memory>
#include <string>

#include "format/profile_layouts.h"
#include "format/read_end.h"
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
  Damage damage = Damage::None;  // Damaged: why
  bool written = false;          // Upgraded: bytes were (or, in a check, would be) written
  friend bool operator==(const UpgradeResult&, const UpgradeResult&) = default;
};

enum class UpgradeMode : std::uint8_t {
  Upgrade,  // write what the 2.0.12 layout needs
  Check,    // open for reading only and say what an upgrade would do
};

// Told now and then while a profile is read, so that a window can stay responsive during a
// large one.
class ReadProgress {
 public:
  virtual ~ReadProgress() = default;
  virtual void OnRead() = 0;
};

// True when fields 36 and 37 (Text30, Text31) are both empty.
bool HasBlankTail(const LegacyProfileRecord& record);

// The 2.0.12 record holding fields 1 to 37 of `legacy`; Text32 and Byte5 stay empty.
CurrentProfileRecord ToCurrent(LegacyProfileRecord legacy);

// Upgrades profiles one after another through one fixed-size read buffer, so that a profile of
// any size and shape is upgraded in the same small memory.
//
// A profile is opened once, for reading and writing and shared with readers only, and what is
// written is decided from the bytes read through that same handle. Its legacy record is walked
// without building its values; unless it is to be skipped, the bytes the 2.0.12 layout adds (the
// empty values of the fields a short file lacks, then the empty Text32 and Byte5) are compared
// with what follows the record and written from the first byte that differs. Bytes of the record
// keep their values, the file is never shortened, and a profile that needs no change is never
// written. When a write fails, the file is given back its length and bytes before the failure
// propagates as PlatformError.
class ProfileUpgrader {
 public:
  static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

  explicit ProfileUpgrader(std::size_t bufferSize = kDefaultBufferSize);

  UpgradeResult Upgrade(Platform& platform, const std::string& path, UpgradeMode mode = UpgradeMode::Upgrade,
                        ReadProgress* progress = nullptr);

 private:
  std::unique_ptr<char[]> buffer_;  // left uninitialised: a small profile touches only its own bytes
  std::size_t bufferSize_;
};

// One profile, by a ProfileUpgrader of its own.
UpgradeResult UpgradeProfileFile(Platform& platform, const std::string& path);

}  // namespace zelvane
