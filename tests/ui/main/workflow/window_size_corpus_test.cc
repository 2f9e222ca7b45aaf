// Replays every input kept for the "WindowSize" fuzzer (seeds and inputs that
// once failed) through the same check the fuzzer runs.

#include <gtest/gtest.h>

#include "support/corpus_replay.h"
#include "ui/main/workflow/fuzz/window_size_fuzz.h"

namespace ovc {
namespace {

TEST(WindowSizeCorpusTest, EveryKeptInputReadsAsFourIntegersOrNothing) {
  test::ReplayCorpus("ui/main/workflow/corpus/window_size", test::CheckWindowSize);
}

}  // namespace
}  // namespace ovc
