// Standard output of the Windows backend: a console is written at once; a file or a pipe by a
// thread of its own, so that a launcher that reads the pipe only once the program has ended (or
// never) cannot stop the run, whose log and exit code follow the profiles alone.

#include <windows.h>

#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"

namespace zelvane {
namespace {

// Holds an SRWLOCK, exclusively, for as long as it lives.
class Locked {
 public:
  explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~Locked() { ReleaseSRWLockExclusive(&lock_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

OutputWriter::OutputWriter(HANDLE out, WriteCall write) : out_(out), write_(write) {
  if (!OwnedHandle(CreateThread(nullptr, 0, Loop, this, 0, nullptr)).Valid())
    abandoned_ = true;  // no writer: what is written is given up, and the log holds the report
}

void OutputWriter::Write(std::string_view text) {
  const Locked hold(lock_);
  if (abandoned_ || pending_.size() + text.size() > kMost) {
    givenUp_ = true;
    return;
  }
  pending_.append(text);
  WakeConditionVariable(&wake_);
}

bool OutputWriter::Finish(std::chrono::milliseconds bound) {
  const Locked hold(lock_);
  if (abandoned_) return false;  // a reader that did not take what it was given is not waited for again
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(bound.count());
  for (ULONGLONG now = GetTickCount64(); !pending_.empty() || writing_; now = GetTickCount64()) {
    if (now >= deadline) {
      givenUp_ = abandoned_ = true;
      break;
    }
    SleepConditionVariableSRW(&drained_, &lock_, static_cast<DWORD>(deadline - now), 0);
  }
  const bool whole = !givenUp_;
  givenUp_ = false;
  return whole;
}

DWORD WINAPI OutputWriter::Loop(void* self) {
  static_cast<OutputWriter*>(self)->Drain();
  return 0;
}

void OutputWriter::Drain() {
  AcquireSRWLockExclusive(&lock_);
  for (;;) {
    while (pending_.empty()) SleepConditionVariableSRW(&wake_, &lock_, INFINITE, 0);
    std::string text;
    text.swap(pending_);
    writing_ = true;
    ReleaseSRWLockExclusive(&lock_);
    const bool written = WriteAll(out_, text, write_) == ERROR_SUCCESS;
    AcquireSRWLockExclusive(&lock_);
    writing_ = false;
    givenUp_ = givenUp_ || !written;
    WakeAllConditionVariable(&drained_);
  }
}

namespace {

OutputWriter* writer = nullptr;  // once standard output has gone to a file or a pipe

}  // namespace

void WriteProcessOutput(std::string_view text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE || GetFileType(out) == FILE_TYPE_UNKNOWN) return;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {  // a console shows UTF-16, not the bytes of UTF-8, and is never full
    const std::wstring wide = Widen(text);
    DWORD n = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &n, nullptr);
    return;
  }
  if (writer == nullptr) writer = new OutputWriter(out);  // never freed: its thread may outlive main
  writer->Write(text);
}

bool FinishProcessOutput(std::chrono::milliseconds bound) { return writer == nullptr || writer->Finish(bound); }

}  // namespace zelvane
