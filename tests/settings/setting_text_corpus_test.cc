// Replays every input kept for the setting text fuzzer (seeds and inputs that
// once failed) through the same check the fuzzer runs.

#include <gtest/gtest.h>

#include "settings/fuzz/setting_text_fuzz.h"
#include "support/corpus_replay.h"

namespace ovc {
namespace {

TEST(SettingTextCorpusTest, EveryKeptInputReadsAsTheCLibraryReadsIt) {
  test::ReplayCorpus("settings/corpus/setting_text", test::CheckSettingText);
}

}  // namespace
}  // namespace ovc
