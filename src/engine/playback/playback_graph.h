#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/mutex.h"
#include "engine/playback/playback_control.h"
#include "platform/media/audio_sink.h"
#include "platform/media/filter_graph.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/video_surface.h"

namespace ovc {

class CaptureStage;
class RecordingClock;

// The window message the graph's events arrive as.
inline constexpr uint32_t kWmGraphNotify = 0x8001;

// Pictures larger than this on either side are refused when a file is
// opened: the capture keeps several full-size planes of every picture.
inline constexpr int kMaxPictureSide = 8192;

// What building and closing the playback graph asks of the main window. All
// calls come on the user interface thread except PostGraphNotify.
class PlaybackGraphHost {
 public:
  virtual ~PlaybackGraphHost() = default;

  virtual void FocusVideoPanel() = 0;
  // The hourglass while a graph is built.
  virtual void SetBusyCursor(bool busy) = 0;
  // Handles the messages waiting in the user interface queue.
  virtual void PumpMessages() = 0;
  // Posts WM_GRAPHNOTIFY (kWmGraphNotify) with parameter 0. Called from any
  // thread; must return at once.
  virtual void PostGraphNotify() = 0;
  virtual void HideStillPicture() = 0;
  virtual void ClearProgressText() = 0;
  // The full-screen blanking windows, hidden before a warning.
  virtual void HideBlankScreens() = 0;
  // Where the preview draws and plays; null for none.
  virtual std::shared_ptr<media::VideoSurface> PreviewSurface() = 0;
  virtual std::shared_ptr<media::AudioSink> PreviewSink() = 0;
  // A file graph is complete: default output name, source ready, commands
  // that need a source enabled.
  virtual void SourceReady(const std::string& source_path) = 0;
  // The source's length in seconds: position bar, title length and range,
  // time display.
  virtual void SourceLengthKnown(double seconds) = 0;
  virtual void ShowGuide(int state) = 0;
  // The graph was torn down: time bookkeeping cleared, the position bar's
  // low position 0, the time display refreshed.
  virtual void GraphClosed() = 0;
};

// A host without a window: no preview, no cursor, nothing to show.
class NullPlaybackGraphHost : public PlaybackGraphHost {
 public:
  void FocusVideoPanel() override {}
  void SetBusyCursor(bool) override {}
  void PumpMessages() override {}
  void PostGraphNotify() override {}
  void HideStillPicture() override {}
  void ClearProgressText() override {}
  void HideBlankScreens() override {}
  std::shared_ptr<media::VideoSurface> PreviewSurface() override { return nullptr; }
  std::shared_ptr<media::AudioSink> PreviewSink() override { return nullptr; }
  void SourceReady(const std::string&) override {}
  void SourceLengthKnown(double) override {}
  void ShowGuide(int) override {}
  void GraphClosed() override {}
};

// The source's length as the time display shows it.
struct SourceLength {
  double seconds = 0;
  int hours = 0;
  int minutes = 0;
  int secs = 0;
};
SourceLength SplitSourceLength(double seconds);

// The playback graph of the open source file: source → decoder → grabber →
// renderer for its video and audio, the grabbers feeding the capture stage,
// run on the recording clock.
//
// Built and closed on the user interface thread; only RenderFile runs on a
// worker thread, while the user interface thread keeps pumping messages.
class PlaybackGraph {
 public:
  // None owned; all must outlive the graph.
  PlaybackGraph(CaptureStage* capture, RecordingClock* clock, PlaybackControl* control,
                PlaybackGraphHost* host);
  ~PlaybackGraph();
  PlaybackGraph(const PlaybackGraph&) = delete;
  PlaybackGraph& operator=(const PlaybackGraph&) = delete;

  // The file the next build renders.
  void set_source_path(const std::string& path) { source_path_ = path; }
  const std::string& source_path() const { return source_path_; }

  // Tells the video decoder the size its whole pictures are shown at (0 ×
  // 0: not known); it blends the fields of interlaced pictures only where
  // they show, and halves pictures that show at a third of their size or
  // less.
  void SetShownPictureSize(int width, int height);
  // A flag (may be null; set from any thread, e.g. a signal handler) that
  // ends a build's wait for the file: the render is aborted and the build
  // returns 1 without a message.
  void set_interrupt(const std::atomic<bool>* interrupt) { interrupt_ = interrupt; }

  // Builds the graph for the source file without starting playback. 0 on
  // success; 0 at once when a build is already running; 1 when the graph
  // was closed meanwhile or the interrupt flag was set; a failure code
  // otherwise (the user was told). A source whose picture cannot reach the
  // capture (sound only, an undecodable picture) is refused: nothing would
  // ever stream into a conversion. A source without sound, or whose sound
  // cannot be decoded, opens with a line of information ("<path> has no
  // sound; the output gets a silent sound track", or "<path> has sound that
  // cannot be decoded (<why>); ..."); the capture gives its output a silent
  // track.
  int32_t BuildPlaybackGraph();
  // Stops and tears down the graph (kept alive instead when the last stop
  // timed out: the stuck stop may still be inside it).
  void ClosePlaybackGraph();
  // Lists the graph in the trace and, unless `check_only`, repairs or
  // reports a grabber the streams bypass. 0, or -1 when a grabber was not
  // connected.
  int32_t CheckGraphConnections(bool check_only);
  // Routes the decoded video through the video grabber again. 0 or the
  // failing code.
  int32_t ReconnectVideoGrabber();

  // Conversion mode: the streams run as fast as the work allows.
  void SetFreeRunning(bool free_running);

  // Whether a render worker is building the graph:
  //
  //   kIdle --BuildPlaybackGraph--> kRendering --worker done--> kIdle
  enum class RenderState { kRendering, kIdle };
  RenderState render_state() const { return render_state_.load(); }
  bool source_ready() const { return source_ready_; }
  bool video_grabber_connected() const { return video_grabber_connected_; }
  const SourceLength& source_length() const { return source_length_; }
  // The graph, or null; for the event pump and position calls.
  media::FilterGraph* graph() const;

 private:
  // The graph objects of one build, shared with the render worker and the
  // playback helpers.
  struct Built;
  class Control;

  int32_t Fail(int32_t result, const std::string& reason);
  void ReleaseBuilt();

  CaptureStage* capture_;
  RecordingClock* clock_;
  PlaybackControl* control_;
  PlaybackGraphHost* host_;
  std::string source_path_;

  std::shared_ptr<Built> graph_;
  // Graphs whose stop timed out: never released (a helper may still be
  // stopping them).
  std::vector<std::shared_ptr<Built>> abandoned_;
  std::thread worker_;

  // The render worker's hand-over: it stores the result in its Built and
  // sets render_state_ under render_mutex_, then signals rendered_; the
  // user interface thread reads the result only after joining it.
  Mutex render_mutex_;
  CondVar rendered_;
  std::atomic<RenderState> render_state_{RenderState::kIdle};
  // Everything else belongs to the user interface thread.
  bool closed_during_build_ = false;
  bool source_ready_ = false;
  bool video_grabber_connected_ = false;
  bool audio_grabber_connected_ = false;
  const std::atomic<bool>* interrupt_ = nullptr;
  SourceLength source_length_;
};

}  // namespace ovc
