// The Windows side of the test files, through the Win32 calls themselves: the C runtime
// behind std::filesystem does not take every "\\?\" path past MAX_PATH.

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <vector>

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
  const OwnedSearch find(FindFirstFileW((Literal(folder) / L"*").c_str(), &data));
  if (!find.Valid()) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find.Get(), &data));
  return names;
}

std::wstring UnixPath(const std::filesystem::path& path) {
  using UnixNameCall = char*(CDECL*)(LPCWSTR);
  const auto unixName = reinterpret_cast<UnixNameCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  std::wstring full = path.wstring();
  if (full.rfind(L"\\\\?\\", 0) == 0) full.erase(0, 4);  // neither Wine's call nor absolute() takes the "\\?\" form
  full = std::filesystem::absolute(full).wstring();
  char* name = unixName ? unixName(full.c_str()) : nullptr;
  if (!name) throw std::runtime_error("Wine gives no Unix name for " + Utf8(path));
  const std::wstring wide = Widen(name);
  HeapFree(GetProcessHeap(), 0, name);
  return wide;
}

bool RunUnix(const std::wstring& program, const std::wstring& commandLine, const std::function<bool()>& done) {
  Process({.exe = L"Z:" + program, .commandLine = commandLine});
  for (int waited = 0; !done(); waited += 10) {
    if (waited > 10000) return false;
    Sleep(10);
  }
  return true;
}

namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool Exists(const std::filesystem::path& path) { return GetFileAttributesW(Literal(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// A junction at `link` (a folder it makes) to the folder `target`: a mount point that any user
// may set on a folder of their own.
bool MakeJunction(const std::filesystem::path& target, const std::filesystem::path& link) {
  if (!CreateDirectoryW(Literal(link).c_str(), nullptr)) return false;
  const OwnedHandle folder(CreateFileW(Literal(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  const std::wstring print = std::filesystem::absolute(target).wstring(), substitute = L"\\??\\" + print;
  // REPARSE_DATA_BUFFER for IO_REPARSE_TAG_MOUNT_POINT: the two names, each ending in a zero.
  std::vector<WORD> data = {0, static_cast<WORD>(substitute.size() * 2), static_cast<WORD>((substitute.size() + 1) * 2),
                            static_cast<WORD>(print.size() * 2)};
  data.insert(data.end(), substitute.begin(), substitute.end());
  data.push_back(0);
  data.insert(data.end(), print.begin(), print.end());
  data.push_back(0);
  std::vector<BYTE> buffer(8);
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  const auto length = static_cast<WORD>(data.size() * 2);
  std::memcpy(buffer.data(), &tag, 4);
  std::memcpy(buffer.data() + 4, &length, 2);
  buffer.insert(buffer.end(), reinterpret_cast<BYTE*>(data.data()), reinterpret_cast<BYTE*>(data.data()) + length);
  DWORD returned = 0;
  return folder.Valid() && DeviceIoControl(folder.Get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                                           static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
}

}  // namespace

void RemoveTree(const std::filesystem::path& folder) {
  const std::filesystem::path literal = Literal(folder);
  // Wine shows a Unix link to a file as the file itself, and would remove what it leads to.
  if (UnderWine() && Exists(literal)) {
    RunUnix(L"/bin/rm", L"rm -rf " + Quoted(UnixPath(literal)), [&literal] { return !Exists(literal); });
    return;
  }
  for (const std::wstring& name : Entries(literal)) {
    const std::filesystem::path path = literal / name;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {  // a link: never what it leads to
      if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
      DeleteFileW(path.c_str());
    }
  }
  RemoveDirectoryW(literal.c_str());
}

bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, Link kind) {
  if (UnderWine()) {
    const std::wstring made = kind == Link::Pipe ? L"/usr/bin/mkfifo" : L"/bin/ln";
    const std::wstring what = kind == Link::Pipe ? L"" : kind == Link::Hard ? Quoted(UnixPath(target)) + L" " : L"-s " + Quoted(UnixPath(target)) + L" ";
    return RunUnix(made, made.substr(made.rfind(L'/') + 1) + L" " + what + Quoted(UnixPath(link)),
                   [&link] { return Exists(link); });  // Wine shows no link that leads to nothing
  }
  switch (kind) {
    case Link::ToFile:
      return CreateSymbolicLinkW(Literal(link).c_str(), Literal(target).c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    case Link::ToFolder: return MakeJunction(target, link);
    case Link::Hard: return CreateHardLinkW(Literal(link).c_str(), Literal(target).c_str(), nullptr);
    case Link::Pipe: return false;  // an object link in \RPC Control, behind a junction: not made here
  }
  return false;
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
