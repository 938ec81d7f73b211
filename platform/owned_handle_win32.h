#pragma once
// One owning type for every kind of Win32 handle (a kernel object, a search of a folder, a
// registry key): closed by its kind's own call on every way out.

#include <windows.h>

namespace zelvane {

template <typename Kind>
class Owned {
 public:
  using Handle = typename Kind::Handle;

  explicit Owned(Handle handle = Kind::None()) : handle_(handle) {}
  ~Owned() { Close(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  bool Valid() const { return Kind::Valid(handle_); }
  Handle Get() const { return handle_; }
  // Takes `handle` in place of the one held, which is closed.
  void Reset(Handle handle) {
    Close();
    handle_ = handle;
  }
  // Where a call that hands back a handle through a pointer is to put it; the one held is closed.
  Handle* Receive() {
    Close();
    return &handle_;
  }
  // False when closing failed; the handle is given up either way.
  bool Close() {
    const bool closed = !Valid() || Kind::Close(handle_);
    handle_ = Kind::None();
    return closed;
  }

 private:
  Handle handle_;
};

struct KernelObject {
  using Handle = HANDLE;
  static HANDLE None() { return nullptr; }
  static bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return CloseHandle(h) != 0; }
};

struct FolderSearch {
  using Handle = HANDLE;
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return FindClose(h) != 0; }
};

struct RegistryKey {
  using Handle = HKEY;
  static HKEY None() { return nullptr; }
  static bool Valid(HKEY h) { return h != nullptr; }
  static bool Close(HKEY h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

using OwnedHandle = Owned<KernelObject>;
using OwnedSearch = Owned<FolderSearch>;
using OwnedKey = Owned<RegistryKey>;

}  // namespace zelvane
