#include <gtest/gtest.h>

#include "platform/registry/reg_file_import.h"
#include "settings/settings_store.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

// The scripts shipped in data/ import without a skipped line and set what
// the program reads.
TEST(ShippedScripts, ImportCleanlyIntoTheSettings) {
  test::TempWorld world;
  for (const char* name : {"codec.reg", "url.reg"}) {
    int malformed = -1;
    auto store = registry::DefaultStore();
    ASSERT_EQ(registry::ImportRegFile(std::string(OVC_DATA_SOURCE_DIR) + "/" + name, *store,
                                      &malformed),
              registry::kSuccess)
        << name;
    EXPECT_EQ(malformed, 0) << name;
  }
  EXPECT_EQ(ReadSettingText("OutputConfig\\VideoCodec", ""), "XviD MPEG-4 Codec");
  EXPECT_EQ(ReadSettingInt("OutputConfig\\fcc_handler", 0), 1145656920);
  EXPECT_EQ(ReadSettingInt("OutputConfig\\fcc_type", 0), 1667524982);
  EXPECT_EQ(ReadSettingText("URL\\home", ""), "http://www.orvane.com/");
}

}  // namespace
}  // namespace ovc
