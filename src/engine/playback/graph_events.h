#pragma once

#include <cstdint>

#include "platform/media/graph_events.h"

namespace ovc {

// The main window's share of the graph's events.
class GraphEventHost {
 public:
  virtual ~GraphEventHost() = default;

  // While set, events are taken and dropped (the start of a conversion
  // drains what is pending).
  virtual bool draining() = 0;
  virtual int playback_state() = 0;  // PlaybackState
  virtual bool conversion_running() = 0;
  virtual bool second_pass() = 0;
  // The position bar's low thumb (which follows playback during a
  // conversion) and the range's end point, in seconds.
  virtual double low_thumb_seconds() = 0;
  virtual double end_point_seconds() = 0;

  // One step of the progress timer.
  virtual void ProgressTimerStep() = 0;
  virtual void StopRecording() = 0;
  // Posts WM_PROGRESS with parameter -1: the conversion finished.
  virtual void PostConversionFinished() = 0;
  // Shows the paused still picture again.
  virtual void RepaintStillPicture() = 0;
};

// Handles every pending graph event without waiting. Does nothing (0)
// without an event queue or a rendered source. Otherwise returns the result
// of the last take, kErrorAbort once the queue ran dry.
//
// The end of the file ends a running conversion, except in the second pass
// while the low thumb is more than 2 s before the end point (the seek to the
// pass's start may leave a stale completion behind).
int32_t PumpGraphEvents(media::GraphEventQueue* events, bool source_rendered,
                        GraphEventHost* host);

}  // namespace ovc
