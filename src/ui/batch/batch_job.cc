#include "ui/batch/batch_job.h"

#include <algorithm>

namespace ovc {

std::string AbsoluteBatchPath(const std::string& path, const std::string& working_folder,
                              const std::string& home_folder) {
  if (path.empty() || path.front() == '/') return path;
  if (path == "~") return home_folder;
  std::string base = working_folder;
  std::string rest = path;
  if (path.compare(0, 2, "~/") == 0) {
    base = home_folder;
    rest = path.substr(2);
  }
  if (base.empty() || base.back() != '/') base += '/';
  return base + rest;
}

std::vector<std::string> BatchArguments(const BatchJob& job, const std::string& working_folder,
                                        const std::string& home_folder) {
  std::vector<std::string> args;
  if (!job.profile.empty()) {
    args.push_back("-p");
    args.push_back(job.profile);
  }
  if (!job.output_folder.empty()) {
    args.push_back("-o");
    args.push_back(AbsoluteBatchPath(job.output_folder, working_folder, home_folder));
  }
  args.push_back("--passes");
  args.push_back(job.passes == 2 ? "2" : "1");
  if (job.split_mb > 0) {
    args.push_back("--split-mb");
    args.push_back(std::to_string(std::min(job.split_mb, kMaxSplitMb)));
  }
  if (job.overwrite) args.push_back("--yes");
  for (const std::string& input : job.inputs)
    if (!input.empty()) args.push_back(AbsoluteBatchPath(input, working_folder, home_folder));
  return args;
}

}  // namespace ovc
