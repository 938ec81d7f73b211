// The listing of a folder in the Windows backend.

#include <windows.h>

#include <memory>

#include "platform/owned_handle_win32.h"
#include "platform/system_win32.h"

namespace zelvane {
namespace {

class Win32Listing : public FileListing {
 public:
  Win32Listing(const std::string& folder, std::string_view extension, FindNextCall findNext)
      : extension_(extension), findNext_(findNext) {
    // Every name is matched here rather than by a "*.qdx" pattern, which Windows also tests
    // against 8.3 short names ("notes.qdxold" has the short name "NOTES~1.QDX").
    find_.Reset(FindFirstFileExW((SystemPath(folder) + L"*").c_str(), FindExInfoBasic, &data_,
                                 FindExSearchNameMatch, nullptr, 0));
    if (!find_.Valid()) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) Fail("list the folder", folder, error);
    }
    pending_ = find_.Valid();
    folder_ = folder;
  }
  std::string Next() override {
    while (pending_) {
      std::string name = Narrow(data_.cFileName);
      const bool ordinary = !(data_.dwFileAttributes &
                              (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
      pending_ = findNext_(find_.Get(), &data_) != 0;
      if (!pending_) {
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) Fail("list the folder", folder_, error);
      }
      if (ordinary && EndsWithNoCase(name, extension_)) return name;
    }
    return {};
  }

 private:
  std::string extension_, folder_;
  FindNextCall findNext_;
  WIN32_FIND_DATAW data_{};
  OwnedSearch find_;
  bool pending_ = false;
};

}  // namespace

std::unique_ptr<FileListing> ListFolder(const std::string& folder, std::string_view extension,
                                        FindNextCall findNext) {
  return std::make_unique<Win32Listing>(folder, extension, findNext);
}

}  // namespace zelvane
