#pragma once
// Files for the tests, the end-to-end driver and the benchmarks: temporary folders, paths in the
// form the system takes every name in as it stands, and whole files written and read.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace zelvane::testing {

std::string Utf8(const std::filesystem::path& path);
std::filesystem::path FromUtf8(const std::string& text);

// The path in the form in which the system takes every name as it stands ("\\?\C:\...\nul.qdx"
// on Windows), so that tests can make and read the files the tool must handle. Unchanged
// elsewhere, and when relative or already in a "\\" form.
std::filesystem::path Literal(const std::filesystem::path& path);

// Removes a folder with everything in it, read-only files included, and links without what they
// lead to; quietly leaves what it cannot.
void RemoveTree(const std::filesystem::path& folder);

// Marks the file as the system hides it from a listing: hidden, or a system file. On Windows by its
// attributes; elsewhere a name that begins with a dot is hidden already, and this does nothing.
enum class Hidden { Hidden, System };
void Hide(const std::filesystem::path& path, Hidden how);

// A link at `link` to `target`, as a user without privileges makes one: a symbolic link to a file,
// a link to a folder (a junction, on Windows), or a hard link. Under Wine, which cannot make links
// of Windows, a Unix link made by /bin/ln stands in: Wine shows it as Windows shows a link (a folder
// link carries the reparse-point attribute, a file link's final path is its target, a hard link has
// two names). Pipe: a named pipe at `link` (a FIFO; `target` unused), where a user's object link
// leads on Windows, which only Windows makes so. False when the system cannot make one.
enum class Link { ToFile, ToFolder, Hard, Pipe };
bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, Link kind);

// Creates or replaces the file, holding `bytes`; throws std::runtime_error when it cannot.
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);  // empty when there is no such file

// How many files this process holds open, where the system tells it (POSIX: /proc/self/fd;
// Windows: its handles); nothing elsewhere (Wine).
std::optional<std::size_t> OpenDescriptors();

// A fresh folder, named `prefix` and a number no other folder there has, in the system's
// temporary folder. The destructor removes it with RemoveTree.
class TempFolder {
 public:
  explicit TempFolder(const std::filesystem::path& prefix = "zelvane-test-");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return Utf8(path_ / FromUtf8(name)); }  // UTF-8
  void Keep() { keep_ = true; }  // leaves the folder in place, to look into after a failure

 private:
  std::filesystem::path path_;
  bool keep_ = false;
};

}  // namespace zelvane::testing
