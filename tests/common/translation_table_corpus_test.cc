// Replays every input kept for the language file fuzzer (seeds and inputs
// that once failed) through the same check the fuzzer runs.

#include <gtest/gtest.h>

#include "common/fuzz/translation_table_fuzz.h"
#include "support/corpus_replay.h"

namespace ovc {
namespace {

TEST(TranslationTableCorpusTest, EveryKeptInputReadsAsTheFormatSays) {
  test::ReplayCorpus("common/corpus/lang_eng", test::CheckTranslationTable);
}

}  // namespace
}  // namespace ovc
