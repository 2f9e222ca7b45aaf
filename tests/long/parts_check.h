#pragma once

#include "long/output_marks.h"
#include "support/clip_generator.h"

namespace ovc::test {

// The figures a whole conversion's parts are judged by.
struct PartsVerdict {
  double video_seconds = 0;  // all parts' pictures × the frame period
  double audio_seconds = 0;  // all parts' decoded sound
  double shown_seconds = 0;  // the source from the first picture shown
  double worst_offset = 0;   // largest flash-to-click distance, seconds
  double worst_at_end = 0;   // the same over the source's last minute
};

// Checks with GoogleTest assertions that the parts of a conversion of the
// whole `source` (a constant frame rate) are one whole conversion: each
// part's sound ends with its pictures; the parts add up to the source within
// a frame period per part; no picture is skipped, within or between parts
// (the output rate is at least the source's); every second's click is heard
// once and, where its flash is in the same part, at most `sync_limit` from
// it. `period` is the output frame period.
PartsVerdict ExpectPartsWhole(const PartsSummary& summary, const ClipRecipe& source, double period,
                              double sync_limit);

}  // namespace ovc::test
