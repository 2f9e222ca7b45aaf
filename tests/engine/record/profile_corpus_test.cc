// Replays every input kept for the profile reader's fuzzer (seeds and inputs
// that once failed) through the same check the fuzzer runs.

#include <gtest/gtest.h>

#include "engine/record/fuzz/profile_fuzz.h"
#include "support/corpus_replay.h"

namespace ovc {
namespace {

TEST(ProfileCorpusTest, EveryKeptInputPassesTheFuzzCheck) {
  test::ReplayCorpus("engine/record/corpus/profile", test::CheckProfileText);
}

}  // namespace
}  // namespace ovc
