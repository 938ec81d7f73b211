#pragma once
// A platform for unit tests that records calls and can be told to fail.

#include <algorithm>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testing/forwarding_platform.h"

namespace zelvane::testing {

// Passes every call to the system's platform (or the one it is given), counting them; `failOn`
// may throw instead, or act as another program would at that moment. The first write longer than
// `writeLandsBytes` lands that many bytes and then fails, as on a disk that fills up; with
// `writingRefused`, profiles open for reading only, as a read-only one does.
class RecordingPlatform : public ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;

  std::function<void(const std::string& call, const std::string& path)> failOn = [](auto&, auto&) {};
  std::string programFolder = "";
  std::string programFile = "";  // the program's own file; empty: the test's
  std::optional<FolderCopies> copies;  // what Windows makes of every folder, as a test has it; none: the inner platform's
  std::size_t writeLandsBytes = std::string::npos;
  bool writingRefused = false;
  bool lockAbandoned = false;  // another run holds every log's lock, and has for longer than a run waits
  int opens = 0, reads = 0, writes = 0, closes = 0, removals = 0;
  std::vector<OpenFor> purposes;                                // of each open
  std::vector<std::pair<std::uint64_t, std::string>> written;  // offset and bytes of each write
  std::string output;                                          // what went to standard output

  std::unique_ptr<ProfileFile> OpenProfile(const std::string& path, OpenFor purpose) override {
    ++opens;
    purposes.push_back(purpose);
    failOn(purpose == OpenFor::Writing ? "open for writing" : "open", path);
    if (writingRefused && purpose == OpenFor::Writing)
      throw PlatformError("open the file for writing", path, "Access is denied.");
    return std::make_unique<File>(*this, path, purpose, Inner().OpenProfile(path, purpose));
  }
  std::unique_ptr<AppendFile> OpenForAppending(const std::string& path) override {
    failOn("open log", path);
    return std::make_unique<Log>(*this, path, Inner().OpenForAppending(path));
  }
  std::unique_ptr<FileListing> ListFiles(const std::string& folder, std::string_view extension) override {
    failOn("list", folder);
    return std::make_unique<Listing>(*this, folder, Inner().ListFiles(folder, extension));
  }
  std::string ProgramFolder() override {
    return programFolder.empty() ? Inner().ProgramFolder() : programFolder;
  }
  // A failure of the calls below that the system tells in what they give (nothing known, nothing
  // written, and standard output then ends early) is one of `failOn` here too, counted in `untold`.
  FolderCopies CopiesOf(const std::string& folder) override {
    return FailsUntold("copies", folder) ? FolderCopies{} : copies ? *copies : Inner().CopiesOf(folder);
  }
  bool IsFolder(const std::string& path) override { return !FailsUntold("is folder", path) && Inner().IsFolder(path); }
  std::optional<FileIdentity> IdentityOf(const std::string& path) override {
    return FailsUntold("identity", path) ? std::nullopt : Inner().IdentityOf(path);
  }
  void WriteToStandardOutput(std::string_view text) override {
    if (FailsUntold("standard output", "")) outputRead = false;  // this text given up
    else output += text;
  }
  std::string ProgramFile() override {
    failOn("program file", "");
    return programFile.empty() ? Inner().ProgramFile() : programFile;
  }
  std::string FullPath(const std::string& path) override {
    failOn("full path", path);
    return Inner().FullPath(path);
  }
  bool FinishStandardOutput(std::chrono::milliseconds) override { return outputRead; }
  bool outputRead = true;  // false: a reader that never read standard output
  int untold = 0;
  void RemoveProgramAfterExit() override {
    ++removals;
    failOn("remove", "the program");
  }

 private:
  bool FailsUntold(const std::string& call, const std::string& path) try {
    failOn(call, path);
    return false;
  } catch (const PlatformError&) {
    return ++untold > 0;
  }

  class File : public ProfileFile {
   public:
    File(RecordingPlatform& owner, std::string path, OpenFor purpose, std::unique_ptr<ProfileFile> file)
        : owner_(owner), path_(std::move(path)), purpose_(purpose), file_(std::move(file)) {}
    std::uint64_t Size() const override { return file_->Size(); }
    std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) override {
      Misused(closed_, "a read after the close");
      ++owner_.reads;
      owner_.failOn("read", path_);
      return file_->ReadAt(offset, into, size);
    }
    void WriteAt(std::uint64_t offset, std::string_view bytes) override {
      Misused(closed_, "a write after the close");
      Misused(purpose_ == OpenFor::Reading, "a write to a profile opened for reading");
      Misused(offset > end_, "a write that leaves a hole in the file");
      end_ = std::max(end_, offset + bytes.size());
      ++owner_.writes;
      owner_.written.emplace_back(offset, bytes);
      owner_.failOn("write", path_);
      if (bytes.size() > owner_.writeLandsBytes) {
        file_->WriteAt(offset, bytes.substr(0, owner_.writeLandsBytes));
        owner_.writeLandsBytes = std::string::npos;  // the disk has room again for what is given back
        throw PlatformError("write to the file", path_, "There is not enough space on the disk.");
      }
      file_->WriteAt(offset, bytes);
    }
    void Truncate(std::uint64_t size) override {
      Misused(closed_ || !file_->Written(), "a take-back of a file that was not written, or is closed");
      owner_.failOn("truncate", path_);
      file_->Truncate(size);
      end_ = size;
    }
    bool Written() const override { return file_->Written(); }
    void Close() override {
      Misused(closed_, "a profile closed twice");
      closed_ = true;
      ++owner_.closes;
      owner_.failOn("close", path_);
      file_->Close();
    }

   private:
    // What no caller may do, whatever the system lets through: the test then fails at once.
    static void Misused(bool done, const char* what) {
      if (done) throw std::logic_error(std::string("the profile was misused: ") + what);
    }

    RecordingPlatform& owner_;
    std::string path_;
    OpenFor purpose_;
    std::unique_ptr<ProfileFile> file_;
    std::uint64_t end_ = file_->Size();
    bool closed_ = false;
  };

  class Log : public AppendFile {
   public:
    Log(RecordingPlatform& owner, std::string path, std::unique_ptr<AppendFile> log)
        : owner_(owner), path_(std::move(path)), log_(std::move(log)) {}
    void Append(std::string_view text, bool flush) override {
      owner_.failOn(flush ? "append and flush" : "append", path_);
      log_->Append(text, flush);
    }
    bool EndsWhole() const override { return log_->EndsWhole(); }
    bool EndsWithLineBreak() override { return log_->EndsWithLineBreak(); }
    FileIdentity Identity() override { return log_->Identity(); }
    bool LockAbandoned() const override { return owner_.lockAbandoned || log_->LockAbandoned(); }
    void RemoveIfCreated() noexcept override { log_->RemoveIfCreated(); }

   private:
    RecordingPlatform& owner_;
    std::string path_;
    std::unique_ptr<AppendFile> log_;
  };

  class Listing : public FileListing {
   public:
    Listing(RecordingPlatform& owner, std::string folder, std::unique_ptr<FileListing> listing)
        : owner_(owner), folder_(std::move(folder)), listing_(std::move(listing)) {}
    std::string Next() override {
      owner_.failOn("next", folder_);
      return listing_->Next();
    }

   private:
    RecordingPlatform& owner_;
    std::string folder_;
    std::unique_ptr<FileListing> listing_;
  };
};

}  // namespace zelvane::testing
