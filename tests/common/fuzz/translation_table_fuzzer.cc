// libFuzzer entry for the language file reader.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/fuzz/translation_table_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = ovc::test::CheckTranslationTable(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
