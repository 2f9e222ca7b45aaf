#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/mutex.h"
#include "platform/media/audio_sink.h"
#include "platform/media/filter.h"
#include "platform/media/graph_events.h"
#include "platform/media/media_result.h"
#include "platform/media/presentation_scheduler.h"
#include "platform/media/reference_clock.h"
#include "platform/media/video_renderer.h"
#include "platform/media/video_surface.h"

namespace ovc::media {

// A filter graph that plays a file: filters with named pins, connected
// source → decoder → (grabber) → renderer for the file's first video and
// first audio stream, one streaming thread per rendered stream, run on a
// reference clock, with control, events, seeking and volume.
//
// Filters and connections change only while the graph is stopped. Control
// calls (Run, Pause, Stop, seeking, the clock) are serialised; they may come
// from any thread, and a Stop blocked by a callback blocks the next control
// call too. Queries (state, position, duration, events, volume) never wait
// for a control call.
class DecoderFilter;

class FilterGraph {
 public:
  FilterGraph();
  ~FilterGraph();
  FilterGraph(const FilterGraph&) = delete;
  FilterGraph& operator=(const FilterGraph&) = delete;

  // --- Filters and pins. ---

  // Adds a filter under `name`; when the name is taken, " 0001", " 0002"…
  // is appended. kErrorInvalidArg for no filter or one already in a graph.
  MediaResult AddFilter(std::shared_ptr<Filter> filter, std::string_view name);
  // Disconnects the filter's pins and takes it out of the graph.
  MediaResult RemoveFilter(Filter* filter);
  Filter* FindFilterByName(std::string_view name) const;
  // Every filter, in the order they were added.
  std::vector<Filter*> Filters() const;

  // Connects an output pin to an input pin directly, with the type the
  // output offers and the input accepts.
  MediaResult Connect(Pin* output, Pin* input);
  // Breaks the connection of `pin` (both ends). kFalse when it had none.
  MediaResult Disconnect(Pin* pin);
  // Connects an output pin to a renderer of its type: an unconnected one of
  // the graph, else a new "Video Renderer" or "Audio Renderer".
  MediaResult Render(Pin* output);
  // Opens a file and renders its first video and first audio stream:
  // source → decoder → (the grabber of that type, when the graph has one
  // whose input is free) → renderer. kOk when every stream rendered,
  // kPartialRender when some did, else the reason (kErrorAbort after
  // AbortRender).
  MediaResult RenderFile(const std::string& path);
  // Ends a RenderFile in progress on another thread as soon as it can: its
  // reading and probing of the file stop, and it fails with kErrorAbort.
  // Every later RenderFile of this graph fails the same way. Any thread.
  void AbortRender() { render_aborted_.store(true); }

  // What renderers created from now on show and play through, and the wall
  // time the video renderer limits free-running drawing by.
  void SetVideoSurface(std::shared_ptr<VideoSurface> surface);
  void SetAudioSink(std::shared_ptr<AudioSink> sink);
  void SetWallTimeSource(WallTimeSource wall_time);

  // --- Clock and control. ---

  // The clock the graph runs on; nullptr selects a plain system clock.
  // kErrorNotStopped unless stopped.
  MediaResult SetReferenceClock(std::shared_ptr<ReferenceClock> clock);
  std::shared_ptr<ReferenceClock> GetReferenceClock() const;

  MediaResult Run();
  MediaResult Pause();
  // Returns only when every streaming thread has left the graph, including
  // any grabber callback it was in.
  MediaResult Stop();
  GraphState GetState() const;

  // Free-running mode, while a conversion runs: the streams go as fast as
  // the work allows, kept within PresentationScheduler::kMaxLead of each
  // other by media time, and never wait on the clock.
  void SetFreeRunning(bool free_running);
  bool free_running() const;

  // --- Position, in seconds of the file. ---

  MediaResult GetDuration(double* seconds) const;
  // Where playback stands: the segment start plus the time of the latest
  // sample rendered; the duration once every stream has ended.
  MediaResult GetCurrentPosition(double* seconds) const;
  // Seeks: every stream restarts at the key frame before `seconds`, drops
  // what lies before it, and segment time starts again at 0 there. The graph
  // keeps its state (a paused graph shows the new picture).
  MediaResult SetCurrentPosition(double seconds);

  // --- Audio. ---

  // Hundredths of a decibel: 0 full, -10,000 silent. kErrorNotImplemented
  // without an audio renderer.
  MediaResult SetVolume(int32_t volume);
  MediaResult GetVolume(int32_t* volume) const;

  // --- Events. ---

  GraphEventQueue& events() { return events_; }
  // The host's video panel needs painting: the video renderer shows its
  // last picture again; without one, kEventRepaint is posted (kFalse).
  MediaResult RequestRepaint();

 private:
  MediaResult AddFilterLocked(std::shared_ptr<Filter> filter, std::string_view name) OVC_REQUIRES(control_mutex_);
  MediaResult RemoveFilterLocked(Filter* filter) OVC_REQUIRES(control_mutex_);
  MediaResult ConnectLocked(Pin* output, Pin* input) OVC_REQUIRES(control_mutex_);
  MediaResult DisconnectLocked(Pin* pin) OVC_REQUIRES(control_mutex_);
  MediaResult RenderLocked(Pin* output) OVC_REQUIRES(control_mutex_);
  // A filter's graph changes under control_mutex_.
  bool ContainsLocked(const Filter* filter) const OVC_REQUIRES(control_mutex_);
  std::vector<std::shared_ptr<Filter>> FilterSnapshot() const;
  // The decoder that feeds a renderer through its chain of filters, or
  // nullptr.
  static DecoderFilter* FeedingDecoder(const Pin& renderer_input);
  void StartStreamingLocked(GraphState state) OVC_REQUIRES(control_mutex_);
  void StopStreamingLocked() OVC_REQUIRES(control_mutex_);
  ReferenceTime PositionLocked() const OVC_REQUIRES(position_mutex_);

  GraphEventQueue events_;
  PresentationScheduler scheduler_;

  // Serialises control: topology, state changes, seeking, the clock.
  Mutex control_mutex_;

  // Taken alone, or inside control_mutex_; the filters change only under
  // both.
  mutable Mutex filters_mutex_ OVC_ACQUIRED_AFTER(control_mutex_);
  std::vector<std::shared_ptr<Filter>> filters_ OVC_GUARDED_BY(filters_mutex_);
  std::shared_ptr<VideoSurface> surface_ OVC_GUARDED_BY(filters_mutex_);
  std::shared_ptr<AudioSink> sink_ OVC_GUARDED_BY(filters_mutex_);
  WallTimeSource wall_time_ OVC_GUARDED_BY(filters_mutex_);

  mutable Mutex position_mutex_;
  // Media time (100-ns units) of segment time 0.
  ReferenceTime segment_start_ OVC_GUARDED_BY(position_mutex_) = 0;
  std::atomic<ReferenceTime> duration_{0};
  std::atomic<bool> render_aborted_{false};
};

}  // namespace ovc::media
