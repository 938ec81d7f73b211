// The Windows backend's shared helpers (system_win32.h): text at the API, the system's messages
// and failures, paths, and what a handle shows of the file or folder open through it.

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/file_identity.h"
#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"
#include "platform/text.h"
#include "platform/windows_path.h"

namespace zelvane {

std::wstring Widen(std::string_view utf8) { return Utf16FromUtf8<wchar_t>(utf8); }

std::string Narrow(std::wstring_view utf16) { return Utf8FromUtf16(utf16); }

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
  // Inserts ("%1", "%2!s!") stand for names the message is not given here.
  for (std::size_t at; (at = message.find(L'%')) != std::wstring::npos;) {
    std::size_t end = at + 1;
    while (end < message.size() && message[end] >= L'0' && message[end] <= L'9') ++end;
    if (end == at + 1) {
      message.erase(at, 1);  // "%%", "%n" and the like: the character itself
      continue;
    }
    if (end < message.size() && message[end] == L'!') {
      const std::size_t close = message.find(L'!', end + 1);
      end = close == std::wstring::npos ? message.size() : close + 1;
    }
    message.replace(at, end - at, L"the file");
  }
  return Narrow(message);
}

void Fail(std::string_view action, std::string_view path, DWORD error) {
  const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  throw PlatformError(std::string(action), std::string(path), SystemMessage(error), inUse ? Cause::InUse : Cause::Other);
}

OVERLAPPED OverlappedAt(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

DWORD WriteAll(HANDLE file, std::string_view text, WriteCall write) {
  while (!text.empty()) {
    DWORD n = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 24));
    if (!write(file, text.data(), want, &n, nullptr)) return GetLastError();
    if (n == 0) return ERROR_WRITE_FAULT;
    text.remove_prefix(n);
  }
  return ERROR_SUCCESS;
}

namespace {

// FILE_ID_INFO, which the headers give only to programs that need Windows 8: on Windows 7 the
// call fails, and the file is then told by the volume's serial number and the file's index.
struct FileIdInfo {
  ULONGLONG volumeSerialNumber;
  BYTE fileId[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// The volume and the number on it of the file open through `file`, whose `info` is given.
void NumberOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info, std::uint64_t& volume,
              std::array<std::uint8_t, 16>& id) {
  FileIdInfo full{};
  if (GetFileInformationByHandleEx(file, kFileIdInfo, &full, sizeof full)) {
    volume = full.volumeSerialNumber;
    std::copy(std::begin(full.fileId), std::end(full.fileId), id.begin());
    return;
  }
  volume = info.dwVolumeSerialNumber;
  id = FileNumberOf(std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow);
}

// The full path of what is open through `file`, as the system reports it ("\\?\C:\a"); empty
// when it cannot tell.
std::string ReportedFinalPath(HANDLE file) {
  return Narrow(SystemText([file](wchar_t* buffer, DWORD size) {
    return GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }));
}

}  // namespace

std::wstring FullPathName(const std::wstring& path) {
  return SystemText(
      [&path](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
}

std::wstring SystemPath(const std::string& path) {
  return Widen(ExtendedLengthPath(IsFullPath(path) ? path : Narrow(FullPathName(Widen(path)))));
}

std::wstring ShortPathName(const std::wstring& path) {
  return SystemText([&path](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); });
}

std::wstring ModulePath() {
  std::wstring path = SystemText([](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
  if (path.empty()) Fail("find the program's own path", "", GetLastError());
  return path;
}

std::optional<FileIdentity> IdentityOfHandle(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  FileIdentity identity;
  identity.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  identity.links = info.nNumberOfLinks;
  NumberOf(file, info, identity.volume, identity.id);
  identity.finalPath = ReportedFinalPath(file);
  return identity;
}

std::string FinalPathOf(HANDLE file) { return PlainPath(ReportedFinalPath(file)); }

bool IsSameName(std::string_view a, std::string_view b) {
  const std::wstring x = Widen(PlainPath(a)), y = Widen(PlainPath(b));
  return CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

std::string ObjectPathOf(HANDLE file) {
  // OBJECT_NAME_INFORMATION: a UNICODE_STRING, then its characters; grown to any length.
  std::vector<ULONG> name(128);
  ULONG needed = 0;
  constexpr auto kObjectNameInformation = static_cast<OBJECT_INFORMATION_CLASS>(1);
  for (;;) {
    const auto size = static_cast<ULONG>(name.size() * sizeof(ULONG));
    const NTSTATUS status = NtQueryObject(file, kObjectNameInformation, name.data(), size, &needed);
    if (status >= 0) break;
    if (needed <= size) return {};
    name.resize(needed / sizeof(ULONG) + 1);
  }
  const auto* text = reinterpret_cast<const UNICODE_STRING*>(name.data());
  return Narrow(std::wstring_view(text->Buffer, text->Length / sizeof(wchar_t)));
}

FileFacts FactsOf(HANDLE file, std::string_view action, std::string_view path) {
  FileFacts facts;
  facts.type = GetFileType(file);
  if (facts.type != FILE_TYPE_DISK) return facts;  // a pipe's server need not answer more
  FILE_STANDARD_INFO standard{};
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
      !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
    Fail(action, path, GetLastError());
  facts.attributes = tag.FileAttributes;
  facts.links = standard.NumberOfLinks;
  facts.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
  return facts;
}

std::string NotItsOwnFile(HANDLE file, const FileFacts& facts, const std::string& expected) {
  if (facts.type != FILE_TYPE_DISK) return "it is no file on a disk (a pipe or a device)";
  if (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "it is a link, not a file of its own";
  if (facts.links > 1) return "it has another name too (a hard link)";
  if (const std::string lies = ObjectPathOf(file); lies.empty() || expected.empty() || !IsSameName(lies, expected)) {
    const std::string final = FinalPathOf(file);
    return "it is a link to " + (final.empty() ? lies : final);
  }
  return {};
}

const std::string& ResolvedFolders::Of(const std::string& folder) {
  for (const auto& [known, place] : known_)
    if (known == folder) return place;
  const OwnedHandle opened(CreateFileW(SystemPath(folder).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::string place = opened.Valid() ? ObjectPathOf(opened.Get()) : std::string();
  if (!place.empty() && !place.ends_with('\\')) place += '\\';
  return known_.emplace_back(folder, place).second;
}

void EnableRedirectionGuard() {
  // PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY with EnforceRedirectionTrust, looked up since
  // Windows 7 has no SetProcessMitigationPolicy; refused before Windows 10 22H2, which is no fault.
  using SetPolicyCall = BOOL(WINAPI*)(int, PVOID, SIZE_T);
  constexpr int kProcessRedirectionTrustPolicy = 16;
  DWORD enforce = 1;
  if (const HMODULE kernel = GetModuleHandleW(L"kernel32.dll"))
    if (const auto setPolicy = reinterpret_cast<SetPolicyCall>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy"))))
      setPolicy(kProcessRedirectionTrustPolicy, &enforce, sizeof enforce);
}

std::optional<FileIdentity> IdentityOfPath(const std::wstring& systemPath) {
  const OwnedHandle file(CreateFileW(systemPath.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return std::nullopt;
  return IdentityOfHandle(file.Get());
}

}  // namespace zelvane
