#pragma once
// Upgrading one profile file in place, from the legacy layout to the 2.0.12 layout.

#include <cstdint>
#include <memory>
#include <string>

#include "format/walk_outcome.h"
#include "platform/platform.h"

namespace zelvane {

// What became of a profile, from its upgrade to the run's report (in a check: what would).
enum class UpgradeOutcome : std::uint8_t {
  Upgraded,        // the bytes the 2.0.12 layout adds were written
  AlreadyCurrent,  // it already holds a 2.0.12 record
  NoChangeNeeded,  // fields 36 and 37 are empty, or it already ends as an upgrade would leave it
  Damaged,         // its data ends inside a field: left exactly as it was, rewriting would harm it
  Failed,          // a failure, with its step and the system's reason; a run stops there
  InUse,           // another program holds it: a failure too, to try again
  Redirected,      // its name leads elsewhere or to no file on a disk (a link, a junction, a pipe): never read or written
  NotReached,      // a run that stopped did not come to it
};

struct UpgradeResult {
  UpgradeOutcome outcome;
  Damage damage = Damage::None;  // Damaged: why
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

// Upgrades profiles one after another through one fixed-size read buffer, so that a profile of
// any size and shape is upgraded in the same small memory.
//
// A profile is opened for reading, shared with readers only, and its legacy record walked without
// building its values. A blank tail (fields 36 and 37 empty) needs no change, whatever follows it;
// a file that holds a 2.0.12 record (one whole text and one byte after the legacy record, whatever
// follows them) is left as it is. Otherwise the bytes the 2.0.12 layout adds (the empty values of
// the fields a short file lacks, then the empty Text32 and Byte5) are compared with what follows
// the record. Only a profile that needs a change is opened again, for writing, shared with readers
// only, and what it needs is decided again from what that handle reads and done through it: another
// program may have saved it between the two opens, and Windows may have completed the open on a
// new copy of its own (file virtualisation). The bytes are written from the first one that
// differs; bytes of the record keep their values and the file is never shortened. When a write
// fails, the file is given back its length and bytes before the failure propagates as PlatformError.
class ProfileUpgrader {
 public:
  static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

  explicit ProfileUpgrader(std::size_t bufferSize = kDefaultBufferSize);

  // Upgraded, AlreadyCurrent, NoChangeNeeded or Damaged; a failure throws PlatformError.
  UpgradeResult Upgrade(Platform& platform, const std::string& path, UpgradeMode mode = UpgradeMode::Upgrade,
                        ReadProgress* progress = nullptr);

 private:
  std::unique_ptr<char[]> buffer_;  // left uninitialised: a small profile touches only its own bytes
  std::size_t bufferSize_;
};

}  // namespace zelvane
