#include "long/parts_check.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace ovc::test {

PartsVerdict ExpectPartsWhole(const PartsSummary& summary, const ClipRecipe& source, double period,
                              double sync_limit) {
  PartsVerdict verdict;
  for (const PartFigures& part : summary.parts) {
    verdict.video_seconds += part.video_seconds;
    verdict.audio_seconds += part.audio_seconds;
    EXPECT_NEAR(part.sound_end, part.video_seconds, 2 * period) << part.path;
    EXPECT_NEAR(part.probed_seconds, part.video_seconds, period) << part.path;
  }
  const std::vector<int>& frames = summary.frame_numbers;
  if (frames.empty()) {
    ADD_FAILURE() << "no pictures";
    return verdict;
  }
  // The first picture shown: the source's first, or its second when the
  // picture shown while the start was sought reached the capture before the
  // conversion began.
  EXPECT_GE(frames.front(), 0);
  EXPECT_LE(frames.front(), 1);
  verdict.shown_seconds = source.seconds - FrameStartSeconds(source, std::max(0, frames.front()));
  const double slack = period * summary.parts.size();
  EXPECT_NEAR(verdict.video_seconds, verdict.shown_seconds, slack);
  EXPECT_NEAR(verdict.audio_seconds, verdict.shown_seconds, slack);

  EXPECT_EQ(frames.back(), ClipFrameCount(source) - 1);
  int skips = 0;
  for (size_t k = 1; k < frames.size() && skips < 10; ++k) {
    const int step = frames[k] - frames[k - 1];
    if (frames[k] < 0 || step < 0 || step > 1) {
      ++skips;
      ADD_FAILURE() << "output picture " << k << " shows frame " << frames[k] << " after "
                    << frames[k - 1];
    }
  }

  // The click of second 0 goes with the first picture when that is lost.
  std::set<int> expected;
  for (int s = frames.front() > 0 ? 1 : 0; s < source.seconds; ++s) expected.insert(s);
  EXPECT_EQ(summary.heard, expected);
  std::string out_of_sync;
  for (const auto& [second, offset] : summary.offsets) {
    verdict.worst_offset = std::max(verdict.worst_offset, std::abs(offset));
    if (second >= source.seconds - 60)
      verdict.worst_at_end = std::max(verdict.worst_at_end, std::abs(offset));
    if (std::abs(offset) > sync_limit) out_of_sync += " " + std::to_string(second);
  }
  EXPECT_EQ(out_of_sync, "") << "seconds out of sync";
  // The last second is in sync; only a click whose flash fell into the next
  // part (one per boundary at most) goes unmeasured.
  EXPECT_EQ(summary.offsets.count(static_cast<int>(std::ceil(source.seconds)) - 1), 1u);
  EXPECT_GE(summary.offsets.size() + summary.parts.size() - 1, expected.size());
  return verdict;
}

}  // namespace ovc::test
