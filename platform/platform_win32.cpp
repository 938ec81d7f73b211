// The Windows backend: wide-character Win32 calls throughout, so any file name works.

#include <windows.h>

#include <vector>

#include "platform/platform.h"
#include "platform/self_removal_win32.h"
#include "platform/text_win32.h"

namespace zelvane {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

std::string SystemMessage(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", n);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  if (message.empty()) return "system error " + std::to_string(error);
  return Narrow(message);
}

namespace {

[[noreturn]] void Fail(const std::string& action, const std::string& path, DWORD error = GetLastError()) {
  throw PlatformError(action, path, SystemMessage(error));
}

// Paths past MAX_PATH need the extended-length prefix, which also turns off the normalisation
// Windows would otherwise do, so the path is made full first.
std::wstring SystemPath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(wide.c_str(), n, full.data(), nullptr));
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

class Handle {  // closes on every path out; a failing close on the success path is reported
 public:
  Handle(const std::string& path, DWORD access, DWORD share, const char* action) : path_(path) {
    handle_ = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) Fail(action, path_);
  }
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }
  void Close() {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(h)) Fail("close the file", path_);
  }

 private:
  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class Win32Listing : public FileListing {
 public:
  Win32Listing(const std::string& folder, std::string_view extension) : extension_(extension) {
    // Every name is matched here rather than by a "*.qdx" pattern, which Windows also tests
    // against 8.3 short names ("notes.qdxold" has the short name "NOTES~1.QDX").
    find_ = FindFirstFileExW((SystemPath(folder) + L"*").c_str(), FindExInfoBasic, &data_,
                             FindExSearchNameMatch, nullptr, 0);
    if (find_ == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) Fail("list the folder", folder, error);
    }
    pending_ = find_ != INVALID_HANDLE_VALUE;
    folder_ = folder;
  }
  ~Win32Listing() override {
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
  }
  Win32Listing(const Win32Listing&) = delete;
  Win32Listing& operator=(const Win32Listing&) = delete;

  std::string Next() override {
    while (pending_) {
      std::string name = Narrow(data_.cFileName);
      const bool ordinary = !(data_.dwFileAttributes &
                              (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
      pending_ = FindNextFileW(find_, &data_) != 0;
      if (!pending_ && GetLastError() != ERROR_NO_MORE_FILES) Fail("list the folder", folder_);
      if (ordinary && EndsWithNoCase(name, extension_)) return name;
    }
    return {};
  }

 private:
  std::string extension_, folder_;
  WIN32_FIND_DATAW data_{};
  HANDLE find_ = INVALID_HANDLE_VALUE;
  bool pending_ = false;
};

class Win32Platform : public Platform {
 public:
  char Separator() const override { return '\\'; }

  std::string ReadWholeFile(const std::string& path) override {
    Handle file(path, GENERIC_READ, FILE_SHARE_READ, "open the file for reading");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) Fail("read the file", path);
    if (static_cast<unsigned long long>(size.QuadPart) > 0x7FFFFFFFull)
      throw PlatformError("read the file", path, "The file is too large to be read into memory.");
    std::string data;
    try {
      data.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::exception&) {
      throw PlatformError("read the file", path, "The file is too large to be read into memory.");
    }
    std::size_t done = 0;
    while (done < data.size()) {  // the size it had when opened; a file that shrank ends early
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 24));
      if (!ReadFile(file.Get(), data.data() + done, want, &n, nullptr)) Fail("read the file", path);
      if (n == 0) break;
      done += n;
    }
    data.resize(done);
    file.Close();
    return data;
  }

  void WriteAt(const std::string& path, std::uint64_t offset, std::string_view bytes) override {
    Handle file(path, GENERIC_WRITE, 0, "open the file for writing");
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) Fail("write to the file", path);
    while (!bytes.empty()) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 24));
      if (!WriteFile(file.Get(), bytes.data(), want, &n, nullptr)) Fail("write to the file", path);
      if (n == 0) Fail("write to the file", path, ERROR_WRITE_FAULT);
      bytes.remove_prefix(n);
    }
    file.Close();
  }

  std::unique_ptr<FileListing> ListFiles(const std::string& folder,
                                         std::string_view extension) override {
    return std::make_unique<Win32Listing>(folder, extension);
  }

  std::string ProgramFolder() override {
    std::wstring path = ModulePath();
    path.resize(path.rfind(L'\\'));
    if (path.size() == 2 && path[1] == L':') path += L'\\';  // a drive root keeps its separator
    return Narrow(path);
  }

  std::string ProgramName() override {
    std::wstring name = ModulePath();
    name = name.substr(name.rfind(L'\\') + 1);
    const std::size_t dot = name.rfind(L'.');
    return Narrow(dot == std::wstring::npos ? name : name.substr(0, dot));
  }

  void RemoveAfterExit(const std::string& path) override { RemoveFileOrAfterExit(SystemPath(path), path); }
};

}  // namespace

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) Fail("find the program's own path", "");
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace zelvane
