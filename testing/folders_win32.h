#pragma once
// Test support on Windows: the names in a folder, and removing a folder with all it holds.

#include <windows.h>

#include <string>
#include <vector>

namespace zelvane::testing {

// A full path in the form in which Windows takes every name as it stands ("nul.qdx" is a file).
inline std::wstring LiteralPath(const std::wstring& path) {
  return path.rfind(L"\\\\", 0) == 0 ? path : L"\\\\?\\" + path;
}

inline std::vector<std::wstring> Entries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW((LiteralPath(folder) + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

inline void RemoveTree(const std::wstring& folder) {
  for (const std::wstring& name : Entries(folder)) {
    const std::wstring path = LiteralPath(folder) + L"\\" + name;
    if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(LiteralPath(folder).c_str());
}

// Holds a file open for reading, sharing only reading, as a viewer of it may: nobody may write to
// it meanwhile.
class ReaderHold {
 public:
  explicit ReaderHold(const std::wstring& path)
      : handle_(CreateFileW(LiteralPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {}
  ~ReaderHold() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  ReaderHold(const ReaderHold&) = delete;
  ReaderHold& operator=(const ReaderHold&) = delete;
  bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace zelvane::testing
