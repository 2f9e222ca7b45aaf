// libFuzzer entry for the MP4 title reader and writer.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/trace.h"
#include "transfer/mp4_title_fuzz.h"

namespace {

std::string* clip_folder = nullptr;
std::string* fuzz_folder = nullptr;

void RemoveFuzzFolder() {
  std::error_code ec;
  std::filesystem::remove_all(*fuzz_folder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Memory-backed when possible: the writer flushes every file it writes.
  std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string pattern = base + "/mp4-title-fuzz-XXXXXX";
  if (!mkdtemp(pattern.data())) abort();
  setenv("OVC_TEMP", pattern.c_str(), 1);
  setenv("OVC_HOME", pattern.c_str(), 1);
  fuzz_folder = new std::string(pattern);
  clip_folder = new std::string(pattern + "/clip");
  std::filesystem::create_directories(*clip_folder);
  atexit(RemoveFuzzFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = ovc::test::FuzzMp4Title(data, size, *clip_folder);
  if (!problem.empty()) {
    std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
    abort();
  }
  unlink(ovc::TraceLogPath().c_str());  // keeps the trace log from growing
  return 0;
}
