#pragma once
// One owning type for every Win32 HANDLE: closed on every way out.

#include <windows.h>

namespace zelvane {

class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }
  // Takes `handle` in place of the one held, which is closed.
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  // False when closing failed; the handle is given up either way.
  bool Close() {
    const bool closed = !Valid() || CloseHandle(handle_);
    handle_ = nullptr;
    return closed;
  }

 private:
  HANDLE handle_;
};

}  // namespace zelvane
