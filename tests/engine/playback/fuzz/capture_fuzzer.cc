#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/playback/fuzz/capture_fuzz.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Keep the trace log of the fuzzing run out of the user's temporary folder.
  static std::string folder =
      (std::filesystem::temp_directory_path() / "ovc-capture-fuzz").string();
  std::filesystem::create_directories(folder);
  setenv("OVC_TEMP", folder.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = ovc::test::CheckCaptureScript(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
