#pragma once

#include "platform/media/filter.h"
#include "platform/media/presentation_scheduler.h"

namespace ovc::media {

// A filter at the end of a stream, with one input pin "In". The graph gives
// it a stream of its scheduler for every streaming run in which a decoder
// feeds it; the renderer then asks the scheduler when each sample is due.
class RendererFilter : public Filter {
 public:
  Pin* in() const { return in_; }

 protected:
  RendererFilter() : in_(AddPin("In", PinDirection::kInput)) {}

  // The scheduler and this renderer's stream in the current run; the
  // stream is -1 when nothing feeds the renderer.
  PresentationScheduler* scheduler() const { return scheduler_; }
  int stream() const { return stream_; }

 private:
  friend class FilterGraph;

  Pin* const in_;
  // Set by the graph while no streaming thread runs.
  PresentationScheduler* scheduler_ = nullptr;
  int stream_ = -1;
};

}  // namespace ovc::media
