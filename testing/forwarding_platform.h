#pragma once
// For test doubles and benchmarks: a platform that passes every call to another (the system's
// unless it is given one), so that a double overrides only what it watches or changes.

#include "platform/platform.h"

namespace zelvane::testing {

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner = SystemPlatform()) : inner_(inner) {}

  char Separator() const override { return inner_.Separator(); }
  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    return inner_.OpenProfile(path, purpose);
  }
  std::unique_ptr<FileListing> ListFiles(const std::string& folder, std::string_view extension) override {
    return inner_.ListFiles(folder, extension);
  }
  FolderCopies CopiesOf(const std::string& folder) override { return inner_.CopiesOf(folder); }
  std::string ProgramFolder() override { return inner_.ProgramFolder(); }
  std::string ProgramFile() override { return inner_.ProgramFile(); }
  std::string FullPath(const std::string& path) override { return inner_.FullPath(path); }
  bool IsFolder(const std::string& path) override { return inner_.IsFolder(path); }
  std::optional<FileIdentity> IdentityOf(const std::string& path) override { return inner_.IdentityOf(path); }
  std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) override {
    return inner_.OpenForAppending(path);
  }
  void WriteToStandardOutput(std::string_view text) override { inner_.WriteToStandardOutput(text); }
  bool FinishStandardOutput(std::chrono::milliseconds bound) override { return inner_.FinishStandardOutput(bound); }
  std::string LocalTimestamp() override { return inner_.LocalTimestamp(); }
  void RemoveProgramAfterExit() override { throw std::logic_error("a test removed the program running it"); }

 protected:
  Platform& Inner() { return inner_; }

 private:
  Platform& inner_;
};

}  // namespace zelvane::testing
