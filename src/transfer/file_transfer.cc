#include "transfer/file_transfer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "common/message_box.h"
#include "common/trace.h"
#include "transfer/psp_file_filter.h"

namespace ovc {

namespace {

constexpr size_t kCopyPiece = 1u << 20;

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Format(const char* format, const std::string& a, const std::string& b) {
  std::vector<char> text(a.size() + b.size() + 256);
  std::snprintf(text.data(), text.size(), format, a.c_str(), b.c_str());
  return text.data();
}

void ReportCopyFailure(const std::string& source, int error) {
  std::string text = Format("Fail to copy \"%s\": %s", source, strerror(error));
  TracePrintf("%s", text.c_str());
  ShowMessageBox(text, MessageKind::kError, kButtonOk);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int Close() {
    int result = fd_ >= 0 ? close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

enum class FileResult { kCopied, kCancelled, kFailed };

// Copies one file to `target` through a temporary file beside it.
FileResult CopyOneFile(const std::string& source, const std::string& target,
                       const CopyProgressCallback& progress, CopyProgress* state) {
  Descriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info;
  if (in.get() < 0 || fstat(in.get(), &info) != 0) {
    ReportCopyFailure(source, errno);
    return FileResult::kFailed;
  }
  if (!S_ISREG(info.st_mode)) {
    ReportCopyFailure(source, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    return FileResult::kFailed;
  }
  size_t slash = target.rfind('/');
  std::string temporary = target.substr(0, slash + 1) + "." + NameOf(target) + ".XXXXXX";
  Descriptor out(mkstemp(temporary.data()));
  if (out.get() < 0) {
    ReportCopyFailure(source, errno);
    return FileResult::kFailed;
  }
  auto give_up = [&](int error) {
    out.Close();
    unlink(temporary.c_str());
    if (error != 0) ReportCopyFailure(source, error);
    return error != 0 ? FileResult::kFailed : FileResult::kCancelled;
  };

  std::vector<char> buffer(kCopyPiece);
  while (true) {
    ssize_t got = read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return give_up(errno);
    if (got == 0) break;
    ssize_t written = 0;
    while (written < got) {
      ssize_t n = write(out.get(), buffer.data() + written, static_cast<size_t>(got - written));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return give_up(errno);
      if (n == 0) return give_up(ENOSPC);
      written += n;
    }
    state->bytes_done += static_cast<uint64_t>(got);
    if (progress && !progress(*state)) return give_up(0);
  }
  (void)fchmod(out.get(), info.st_mode & 0777);  // FAT sticks may refuse modes
  struct timespec times[2] = {info.st_atim, info.st_mtim};
  (void)futimens(out.get(), times);
  // Only data that reached the device counts as copied.
  if (fsync(out.get()) != 0) return give_up(errno);
  if (out.Close() != 0) return give_up(errno);
  if (rename(temporary.c_str(), target.c_str()) != 0) return give_up(errno);
  return FileResult::kCopied;
}

}  // namespace

CopyOutcome CopyFilesToFolder(const std::vector<std::string>& sources, const std::string& folder,
                              const CopyProgressCallback& progress, CopySummary* summary) {
  CopySummary counts;
  CopyProgress state;
  state.file_count = sources.size();
  for (const std::string& source : sources) {
    struct stat info;
    if (stat(source.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      state.bytes_total += static_cast<uint64_t>(info.st_size);
  }
  std::string base = folder;
  if (base.empty() || base.back() != '/') base += '/';

  CopyOutcome outcome = CopyOutcome::kDone;
  for (size_t i = 0; i < sources.size() && outcome == CopyOutcome::kDone; ++i) {
    const std::string& source = sources[i];
    state.file_index = i;
    state.source = source;
    if (progress && !progress(state)) {
      outcome = CopyOutcome::kCancelled;
      break;
    }
    std::string target = base + NameOf(source);
    struct stat source_info, target_info;
    if (stat(target.c_str(), &target_info) == 0) {
      if (stat(source.c_str(), &source_info) == 0 && source_info.st_dev == target_info.st_dev &&
          source_info.st_ino == target_info.st_ino) {
        // Copying a file onto itself would only destroy it.
        ReportCopyFailure(source, EEXIST);
        outcome = CopyOutcome::kFailed;
        break;
      }
      MessageButton answer = ShowMessageBox(
          Format("The file \"%s\" already exists in \"%s\". Replace it?", NameOf(source), folder),
          MessageKind::kConfirmation, kButtonYes | kButtonNo | kButtonCancel);
      if (answer == kButtonNo) {
        ++counts.skipped;
        if (stat(source.c_str(), &source_info) == 0 && S_ISREG(source_info.st_mode))
          state.bytes_done += static_cast<uint64_t>(source_info.st_size);
        continue;
      }
      if (answer != kButtonYes) {
        outcome = CopyOutcome::kCancelled;
        break;
      }
    }
    switch (CopyOneFile(source, target, progress, &state)) {
      case FileResult::kCopied: ++counts.copied; break;
      case FileResult::kCancelled: outcome = CopyOutcome::kCancelled; break;
      case FileResult::kFailed: outcome = CopyOutcome::kFailed; break;
    }
  }
  if (summary) *summary = counts;
  return outcome;
}

CopyOutcome TransferFiles(const std::vector<std::string>& selected, bool thumbnails_hidden,
                          const std::string& target_folder, const CopyProgressCallback& progress,
                          CopySummary* summary) {
  if (selected.empty()) {
    if (summary) *summary = CopySummary();
    return CopyOutcome::kDone;
  }
  return CopyFilesToFolder(CollectSelection(selected, thumbnails_hidden, kTransferListLimit),
                           target_folder, progress, summary);
}

int DeleteFiles(const std::vector<std::string>& paths, bool ask_first) {
  if (paths.empty()) return 0;
  if (ask_first) {
    std::string question = "Are you sure you want to delete " +
                           (paths.size() == 1 ? "\"" + NameOf(paths[0]) + "\""
                                              : std::to_string(paths.size()) + " files") +
                           " for good?";
    if (ShowMessageBox(question, MessageKind::kConfirmation, kButtonsYesNo) != kButtonYes)
      return 0;
  }
  int deleted = 0;
  bool failed = false;
  for (const std::string& path : paths) {
    if (unlink(path.c_str()) == 0) {
      ++deleted;
      continue;
    }
    failed = true;
    std::string text = Format("Fail to delete \"%s\": %s", path, strerror(errno));
    TracePrintf("%s", text.c_str());
    ShowMessageBox(text, MessageKind::kError, kButtonOk);
  }
  return failed ? -1 : deleted;
}

}  // namespace ovc
