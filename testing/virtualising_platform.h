#pragma once
// Windows' file virtualisation (UAC), as Microsoft's "How User Account Control works" describes it
// (learn.microsoft.com/windows/security/application-security/application-control/
// user-account-control/how-it-works, "Virtualization"): in a virtualised run, a write-open of a
// file below a virtualised place that the user may not change opens a new copy of it in the user's
// VirtualStore (copy-on-write: a new file with the same bytes, made by that open), and later opens
// of that name reach the copy, for reading too. An open for reading alone makes no copy, and a
// listing of a virtualised folder shows the user's copies together with the installed files.
//
// Only Windows can confirm the rest: which places a real system virtualises, that a standard user
// may not change the files there, and that a copy has another file number and change time than the
// file it was made from (tools/windows/check-on-windows.ps1 runs Zelvane so on a real runner).

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "testing/files.h"
#include "testing/forwarding_platform.h"

namespace zelvane::testing {

class VirtualisingPlatform : public ForwardingPlatform {
 public:
  // `place` stands for a virtualised place ("C:\Program Files (x86)"), `store` for the user's
  // "%LOCALAPPDATA%\VirtualStore\": the copy of "<place>\Q\a.qdx" is "<store><place's name>\Q\a.qdx",
  // as Windows keeps it under the path after the drive.
  VirtualisingPlatform(std::string place, std::string store, Platform& inner = SystemPlatform())
      : ForwardingPlatform(inner), place_(std::move(place)), store_(std::move(store)) {
    const std::size_t name = place_.find_last_of(Separator(), place_.size() - 1);
    above_ = name == std::string::npos ? 0 : name + 1;
  }

  // Where this user's copy of `path` (a file or a folder below the place) is kept.
  std::string CopyOf(const std::string& path) const { return store_ + path.substr(above_); }

  int copiesMade = 0;

  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    if (!Below(path)) return Inner().OpenProfile(path, purpose);
    const std::string copy = CopyOf(path);
    if (!Exists(copy) && purpose == OpenFor::Writing && Exists(path)) {
      MakeCopy(path, copy);
      ++copiesMade;
    }
    return Inner().OpenProfile(Exists(copy) ? copy : path, purpose);
  }

  std::unique_ptr<FileListing> ListFiles(const std::string& folder, std::string_view extension) override {
    if (!Below(folder)) return Inner().ListFiles(folder, extension);
    std::vector<std::string> names;
    for (const std::string& listed : {folder, CopyOf(folder)}) {
      const std::unique_ptr<FileListing> listing = Inner().ListFiles(listed, extension);
      for (std::string name = listing->Next(); !name.empty(); name = listing->Next())
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return std::make_unique<NameListing>(std::move(names));
  }

  FolderCopies CopiesOf(const std::string& folder) override {
    return Below(folder) ? FolderCopies{true, {}} : Inner().CopiesOf(folder);
  }

 protected:
  // The files behind the model: on disk, unless a test keeps its profiles elsewhere.
  virtual bool Exists(const std::string& path) { return std::filesystem::exists(Literal(FromUtf8(path))); }
  virtual void MakeCopy(const std::string& from, const std::string& to) {
    const std::filesystem::path copy = Literal(FromUtf8(to));
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(Literal(FromUtf8(from)), copy);
  }

 private:
  bool Below(const std::string& path) const {
    return path.size() > place_.size() && path.compare(0, place_.size(), place_) == 0 && path[place_.size()] == Separator();
  }

  std::string place_, store_;
  std::size_t above_ = 0;  // where the place's own name begins
};

}  // namespace zelvane::testing
