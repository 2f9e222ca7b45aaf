#include <cstddef>
#include <cstdint>

#include "platform/registry/reg_script_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ovc::registry::FuzzRegScript(data, size);
  return 0;
}
