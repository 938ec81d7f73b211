#pragma once
// For test doubles and benchmarks: a platform that passes every call to the system's, so that a
// double overrides only what it watches or changes.

#include "platform/platform.h"

namespace zelvane::testing {

class ForwardingPlatform : public Platform {
 public:
  char Separator() const override { return SystemPlatform().Separator(); }
  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    return SystemPlatform().OpenProfile(path, purpose);
  }
  std::unique_ptr<FileListing> ListFiles(const std::string& folder, std::string_view extension) override {
    return SystemPlatform().ListFiles(folder, extension);
  }
  FolderCopies CopiesOf(const std::string& folder) override { return SystemPlatform().CopiesOf(folder); }
  std::string ProgramFolder() override { return SystemPlatform().ProgramFolder(); }
  std::string ProgramFile() override { return SystemPlatform().ProgramFile(); }
  std::string FullPath(const std::string& path) override { return SystemPlatform().FullPath(path); }
  bool IsFolder(const std::string& path) override { return SystemPlatform().IsFolder(path); }
  std::optional<FileIdentity> IdentityOf(const std::string& path) override { return SystemPlatform().IdentityOf(path); }
  std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) override {
    return SystemPlatform().OpenForAppending(path);
  }
  void WriteToStandardOutput(std::string_view text) override { SystemPlatform().WriteToStandardOutput(text); }
  bool FinishStandardOutput(std::chrono::milliseconds bound) override { return SystemPlatform().FinishStandardOutput(bound); }
  std::string LocalTimestamp() override { return SystemPlatform().LocalTimestamp(); }
  void RemoveProgramAfterExit() override { throw std::logic_error("a test removed the program running it"); }
};

}  // namespace zelvane::testing
