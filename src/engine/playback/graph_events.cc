#include "engine/playback/graph_events.h"

#include "common/trace.h"
#include "engine/playback/playback_control.h"

namespace ovc {

namespace {

// How far before its end point a second pass may be when the file ends.
constexpr double kSecondPassEndSlack = 2.0;

void HandleComplete(GraphEventHost* host) {
  WriteTraceLine("Complete");
  host->ProgressTimerStep();
  if (!host->conversion_running()) return;
  if (host->second_pass() &&
      host->end_point_seconds() - host->low_thumb_seconds() > kSecondPassEndSlack)
    return;
  host->StopRecording();
  host->PostConversionFinished();
}

}  // namespace

int32_t PumpGraphEvents(media::GraphEventQueue* events, bool source_rendered,
                        GraphEventHost* host) {
  if (events == nullptr || !source_rendered) return 0;
  int32_t result = 0;
  for (;;) {
    int32_t code = 0;
    intptr_t param1 = 0, param2 = 0;
    result = events->GetEvent(&code, &param1, &param2, 0);
    if (media::Failed(result)) break;
    if (host->draining() || host->playback_state() != kRunning) continue;
    if (code == media::kEventComplete) HandleComplete(host);
    else if (code == media::kEventRepaint) host->RepaintStillPicture();
  }
  return result;
}

}  // namespace ovc
