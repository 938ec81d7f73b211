// The Windows side of the test files, through the Win32 calls themselves: the C runtime
// behind std::filesystem does not take every "\\?\" path past MAX_PATH.

#include <windows.h>

#include <algorithm>

#include "testing/files.h"
#include "testing/files_win32.h"

namespace zelvane::testing {

std::filesystem::path Literal(const std::filesystem::path& path) {
  std::wstring text = path.wstring();
  std::replace(text.begin(), text.end(), L'/', L'\\');
  if (path.is_absolute() && text.rfind(L"\\\\", 0) != 0) return L"\\\\?\\" + text;
  return text;
}

std::vector<std::wstring> Entries(const std::filesystem::path& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW((Literal(folder) / L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

void RemoveTree(const std::filesystem::path& folder) {
  const std::filesystem::path literal = Literal(folder);
  for (const std::wstring& name : Entries(literal)) {
    const std::filesystem::path path = literal / name;
    if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(literal.c_str());
}

void Hide(const std::filesystem::path& path, Hidden how) {
  if (!SetFileAttributesW(Literal(path).c_str(), how == Hidden::Hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_SYSTEM))
    throw std::runtime_error("could not hide " + Utf8(path) + ": " + SystemMessage(GetLastError()));
}

// Wine does not count a process's handles (GetProcessHandleCount says 0); Windows does.
std::optional<std::size_t> OpenDescriptors() {
  DWORD count = 0;
  if (UnderWine() || !GetProcessHandleCount(GetCurrentProcess(), &count)) return std::nullopt;
  return count;
}

}  // namespace zelvane::testing
