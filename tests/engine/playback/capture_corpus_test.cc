// Replays every input kept for the capture stage's fuzzer (seeds and inputs
// that once failed) through the same check the fuzzer runs.

#include <gtest/gtest.h>

#include "engine/playback/fuzz/capture_fuzz.h"
#include "support/corpus_replay.h"

namespace ovc {
namespace {

TEST(CaptureCorpusTest, EveryKeptInputPassesTheFuzzCheck) {
  test::TempWorld world;
  test::ReplayCorpus("engine/playback/corpus/capture", test::CheckCaptureScript);
}

}  // namespace
}  // namespace ovc
