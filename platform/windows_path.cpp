#include "platform/windows_path.h"

#include <vector>

namespace zelvane {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool HasDrive(std::string_view p) { return p.size() >= 2 && IsDriveLetter(p[0]) && p[1] == ':'; }
bool IsUnc(std::string_view p) { return p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1]); }

// The root of a full path and where its segments start: "C:\" and 3, or "\\server\share\" and
// the offset past the share.
std::string_view RootOf(std::string_view full, std::size_t& rest) {
  if (!IsUnc(full)) {
    rest = full.size() >= 3 ? 3 : full.size();
    return full.substr(0, 2);
  }
  std::size_t at = 2, parts = 0;
  while (at < full.size() && parts < 2) {
    while (at < full.size() && !IsSeparator(full[at])) ++at;
    ++parts;
    if (parts < 2) ++at;
  }
  rest = at;
  return full.substr(0, at);
}

// Appends the segments of `path` to `segments`, resolving "." and "..".
void AddSegments(std::string_view path, std::vector<std::string_view>& segments) {
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t end = at;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string_view segment = path.substr(at, end - at);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    at = end + 1;
  }
}

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ExtendedLengthPath(std::string_view path) {
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\") || !IsFullPath(path)) return std::string(path);
  std::size_t rest = 0;
  const std::string_view root = RootOf(path, rest);
  std::vector<std::string_view> segments;
  AddSegments(path.substr(std::min(rest, path.size())), segments);

  std::string out;
  if (IsUnc(root)) {
    out = "\\\\?\\UNC\\";
    std::vector<std::string_view> share;
    AddSegments(root.substr(2), share);
    for (const std::string_view part : share) out.append(part).push_back('\\');
  } else {
    out = "\\\\?\\";
    out.append(root.substr(0, 2)).push_back('\\');
  }
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out.push_back('\\');
    out.append(segments[i]);
  }
  if (IsSeparator(path.back()) && !segments.empty()) out.push_back('\\');
  return out;
}

bool IsFullPath(std::string_view path) {
  return IsUnc(path) || (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2]));
}

std::string PlainPath(std::string_view path) {
  if (path.starts_with("\\\\?\\UNC\\")) return "\\\\" + std::string(path.substr(8));
  if (path.starts_with("\\\\?\\") && HasDrive(path.substr(4))) return std::string(path.substr(4));
  return std::string(path);
}

std::optional<std::string> VirtualisedPart(std::string_view folder, const std::vector<std::string>& places) {
  const std::string path = PlainPath(folder);
  if (!HasDrive(path) || !IsFullPath(path)) return std::nullopt;
  for (std::string place : places) {
    place = PlainPath(place);
    while (!place.empty() && IsSeparator(place.back())) place.pop_back();
    if (place.size() < 3 || path.size() < place.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < place.size() && same; ++i)
      same = Folded(path[i]) == Folded(place[i]) || (IsSeparator(path[i]) && IsSeparator(place[i]));
    if (same && (path.size() == place.size() || IsSeparator(path[place.size()]))) return path.substr(2);
  }
  return std::nullopt;
}

bool IsPersonsAccount(std::string_view sid) {
  return sid.starts_with("S-1-5-21-") || sid.starts_with("S-1-12-1-");
}

std::string_view SidOfProfileKey(std::string_view key) {
  constexpr std::string_view kBackup = ".bak";
  if (key.size() > kBackup.size() && key.substr(key.size() - kBackup.size()) == kBackup) key.remove_suffix(kBackup.size());
  return key;
}

std::string UserNameOf(std::string_view profileFolder, std::string_view sid) {
  while (!profileFolder.empty() && IsSeparator(profileFolder.back())) profileFolder.remove_suffix(1);
  std::size_t start = profileFolder.size();
  while (start > 0 && !IsSeparator(profileFolder[start - 1])) --start;
  const std::string_view name = profileFolder.substr(start);
  const bool root = name.empty() || (name.size() == 2 && HasDrive(name));  // "C:": no name holds a colon
  return std::string(root ? sid : name);
}

}  // namespace zelvane
