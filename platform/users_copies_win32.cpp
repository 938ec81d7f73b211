// Each user's copies of the profiles, which Windows keeps for the programs it virtualises: where
// they are, whose they are, and whether this run may look at them.

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"
#include "platform/windows_path.h"

namespace zelvane {
namespace {

// `path` as the system resolves it, links and junctions followed; as given when it cannot tell.
std::string ResolvedPath(const std::string& path) {
  const std::optional<FileIdentity> identity = IdentityOfPath(SystemPath(path));
  return identity && !identity->finalPath.empty() ? PlainPath(identity->finalPath) : path;
}

// A string value of `key\subkey` as it is stored (an expandable one unexpanded), of any length;
// nothing when there is none, with why in `error`.
std::optional<std::wstring> StoredText(HKEY key, const wchar_t* subkey, const wchar_t* name, LSTATUS& error) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    error = RegGetValueW(key, subkey, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text.data(), &bytes);
    if (error == ERROR_MORE_DATA) {
      text.resize(bytes / sizeof(wchar_t) + 1);
      continue;
    }
    if (error != ERROR_SUCCESS) return std::nullopt;
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
  }
}

// Why `path` (a folder) cannot be looked at, or nothing; `missing` tells of one that is not there.
std::string Unreachable(const std::string& path, bool& missing) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  missing = false;
  if (attributes != INVALID_FILE_ATTRIBUTES)
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? "" : SystemMessage(ERROR_DIRECTORY);
  const DWORD error = GetLastError();
  missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  return SystemMessage(error);
}

// Every person's copy of the folder whose part after its drive is `part`, as the system's list of
// user profiles gives them, and each whose copies could not be looked at; a run that may not read
// other users' files looks at this user's alone. A profile folder listed twice (a key Windows kept
// as ".bak" beside the user's new one) is one user.
std::vector<UserCopy> UsersCopies(const std::string& part, const RunRights& rights, ResolvedFolders& folders) {
  std::vector<UserCopy> copies;
  OwnedKey list;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                    KEY_READ | KEY_WOW64_64KEY, list.Receive()) != ERROR_SUCCESS)
    return copies;
  std::vector<std::wstring> seen;  // the profile folders looked at, letter case aside
  for (DWORD i = 0;; ++i) {
    wchar_t key[256];
    DWORD length = 256;
    const LSTATUS listed = RegEnumKeyExW(list.Get(), i, key, &length, nullptr, nullptr, nullptr, nullptr);
    if (listed == ERROR_NO_MORE_ITEMS) break;
    if (listed != ERROR_SUCCESS) continue;
    const std::string sid(SidOfProfileKey(Narrow(key)));
    if (!IsPersonsAccount(sid) || (!rights.mayReadOthers && sid != rights.userSid)) continue;
    LSTATUS error = ERROR_SUCCESS;
    const std::optional<std::wstring> stored = StoredText(list.Get(), key, L"ProfileImagePath", error);
    if (!stored) {
      if (error != ERROR_FILE_NOT_FOUND)  // a key without a folder has no copies
        copies.push_back({sid, "", "its profile folder could not be read from the system's list of profiles: " + SystemMessage(static_cast<DWORD>(error))});
      continue;
    }
    const std::wstring expanded = SystemText([&stored](wchar_t* buffer, DWORD capacity) {
      const DWORD n = ExpandEnvironmentStringsW(stored->c_str(), buffer, capacity);
      return n == 0 ? 0 : n - 1 < capacity ? n - 1 : n;  // the count includes the final zero
    });
    std::wstring folded = expanded;
    while (!folded.empty() && (folded.back() == L'\\' || folded.back() == L'/')) folded.pop_back();
    CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
    if (expanded.empty() || std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    seen.push_back(folded);
    const std::string profile = Narrow(expanded);
    UserCopy copy;
    copy.user = UserNameOf(profile, sid);
    copy.folder = profile + (profile.back() == '\\' ? "" : "\\") + "AppData\\Local\\VirtualStore" + part;
    bool missing = false;
    if (const std::string why = Unreachable(profile, missing); !why.empty()) {
      copy.absent = missing;
      copy.unreachable = missing ? "its profile folder " + profile +
                                       " is not on this machine (a roaming profile, or a profile container that is not mounted)"
                                 : "its profile folder " + profile + " could not be opened: " + why;
      copies.push_back(copy);
    } else if (const std::string copyWhy = Unreachable(copy.folder, missing); !copyWhy.empty() && !missing) {
      copy.unreachable = "its copies in " + copy.folder + " could not be opened: " + copyWhy;
      copies.push_back(copy);
    } else if (copyWhy.empty()) {
      // Below the profile folder, as the system resolves it, no link is followed.
      const std::string home = folders.Of(profile + "\\");
      const std::string expected = home.substr(0, home.size() - 1) + "\\AppData\\Local\\VirtualStore" + part;
      if (home.empty() || !IsSameName(folders.Of(copy.folder), expected)) {
        copy.link = true;
        copy.unreachable = "its copies in " + copy.folder + " lead to " + ResolvedPath(copy.folder) + " through a link";
      }
      copies.push_back(copy);
    }
  }
  return copies;
}

}  // namespace

std::vector<std::string> VirtualisedPlaces() {
  // FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramData and FOLDERID_Windows,
  // written out: libuuid, which holds them, would bring every other id along.
  static constexpr KNOWNFOLDERID kPlaces[] = {
      {0x905e63b6, 0xc1bf, 0x494e, {0xb2, 0x9c, 0x65, 0xb7, 0x32, 0xd3, 0xd2, 0x1a}},
      {0x7c5a40ef, 0xa0fb, 0x4bfc, {0x87, 0x4a, 0xc0, 0xf2, 0xe0, 0xb9, 0xfa, 0x8e}},
      {0x62ab5d82, 0xfdc1, 0x4dc3, {0xa9, 0xdd, 0x07, 0x0d, 0x1d, 0x49, 0x5d, 0x97}},
      {0xf38bf404, 0x1d43, 0x42f2, {0x93, 0x05, 0x67, 0xde, 0x0b, 0x28, 0xfc, 0x23}}};
  std::vector<std::string> places;
  for (const KNOWNFOLDERID& id : kPlaces) {
    PWSTR path = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) places.push_back(Narrow(path));
    CoTaskMemFree(path);
  }
  // The 64-bit Program Files, which a 32-bit program is shown as the other one.
  OwnedKey version;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, version.Receive()) == ERROR_SUCCESS) {
    wchar_t native[MAX_PATH] = {};
    DWORD size = sizeof native;
    if (RegGetValueW(version.Get(), nullptr, L"ProgramW6432Dir", RRF_RT_REG_SZ, nullptr, native, &size) == ERROR_SUCCESS)
      places.push_back(Narrow(native));
  }
  return places;
}

RunRights RightsOfThisRun() {
  RunRights rights;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return rights;
  const OwnedHandle held(token);
  DWORD enabled = 0, size = 0;
  rights.virtualised = GetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size) && enabled != 0;
  TOKEN_ELEVATION elevation{};  // an elevated administrator, one without User Account Control, and SYSTEM
  rights.mayReadOthers = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                         elevation.TokenIsElevated != 0;
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  wchar_t* sid = nullptr;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid)) {
    rights.userSid = Narrow(sid);
    LocalFree(sid);
  }
  return rights;
}

FolderCopies CopiesFor(const std::string& folder, const RunRights& rights, std::vector<std::string> places,
                       ResolvedFolders& folders) {
  std::string resolved = ResolvedPath(folder);
  if (resolved.empty() || resolved.back() != '\\') resolved += '\\';
  for (std::string& place : places) place = ResolvedPath(place);
  const std::optional<std::string> part = VirtualisedPart(resolved, places);
  if (!part) return {};
  if (rights.virtualised) return {true, {}, false};
  return {false, UsersCopies(*part, rights, folders), !rights.mayReadOthers};
}

}  // namespace zelvane
