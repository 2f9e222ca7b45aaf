#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/registry/reg_script_fuzz.h"
#include "support/temp_world.h"

namespace ovc::registry {
namespace {

namespace fs = std::filesystem;

// Every input the fuzzer ever needed, crashes included, replayed in the
// normal build.
TEST(RegScriptCorpusTest, ReplaysEveryCorpusFile) {
  const fs::path corpus = fs::path(OVC_TEST_SOURCE_DIR) / "platform/registry/corpus/reg_script";
  int replayed = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    std::string bytes = test::ReadFile(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    FuzzRegScript(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace ovc::registry
