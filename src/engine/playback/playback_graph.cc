#include "engine/playback/playback_graph.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>

#include "common/message_box.h"
#include "common/trace.h"
#include "common/translate.h"
#include "engine/playback/capture_stage.h"
#include "engine/playback/recording_clock.h"
#include "platform/media/file_source.h"
#include "platform/media/hdr_tone_map.h"
#include "platform/media/video_decoder.h"

namespace ovc {

using media::FilterGraph;
using media::MediaResult;

struct PlaybackGraph::Built {
  std::shared_ptr<FilterGraph> graph = std::make_shared<FilterGraph>();
  std::shared_ptr<media::VideoGrabber> video_grabber;
  std::shared_ptr<media::AudioGrabber> audio_grabber;
  std::unique_ptr<Control> control;
  MediaResult render_result = media::kOk;  // written by the worker
};

// The playback helpers' view of one graph. Holds the graph so that a helper
// stuck in Stop keeps it alive.
class PlaybackGraph::Control : public PlaybackGraphControl {
 public:
  explicit Control(std::shared_ptr<FilterGraph> graph) : graph_(std::move(graph)) {}
  int32_t Run() override { return graph_->Run(); }
  int32_t Pause() override { return graph_->Pause(); }
  int32_t Stop() override { return graph_->Stop(); }
  bool HasAudio() override { return graph_->FindFilterByName("Audio Renderer") != nullptr; }
  int32_t SetVolume(int32_t volume) override { return graph_->SetVolume(volume); }
  bool GetPosition(double* seconds) override {
    return media::Succeeded(graph_->GetCurrentPosition(seconds));
  }
  bool GetDuration(double* seconds) override {
    return media::Succeeded(graph_->GetDuration(seconds));
  }
  void SetPosition(double seconds) override { graph_->SetCurrentPosition(seconds); }

 private:
  std::shared_ptr<FilterGraph> graph_;
};

namespace {

// The recording clock is owned by the program, not by the graph.
std::shared_ptr<media::ReferenceClock> Unowned(RecordingClock* clock) {
  return std::shared_ptr<media::ReferenceClock>(clock, [](media::ReferenceClock*) {});
}

std::string FailedLine(MediaResult result, const char* call) {
  char line[512];
  std::snprintf(line, sizeof line, "FAILED(hr=0x%x) in %s\n", static_cast<unsigned>(result),
                call);
  return line;
}

void TraceFailed(MediaResult result, const char* call) {
  WriteTraceLine(FailedLine(result, call));
}

// Why a file could not be rendered, for the user.
std::string RenderFailureReason(MediaResult result) {
  switch (result) {
    case media::kErrorFileNotFound:
      return "The file does not exist or cannot be read.";
    case media::kErrorUnknownFileType:
      return "The file is not a video or audio file, or it is damaged.";
    case media::kErrorCannotRender:
    case media::kErrorTypeNotAccepted:
      return "None of its streams can be decoded.";
    case media::kErrorNotAFile:
      return "It is not a regular file: a pipe, a device or a folder cannot be converted.";
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "It cannot be played (error 0x%x).",
                    static_cast<unsigned>(result));
      return text;
    }
  }
}

// Whether the graph's file source offers a video stream, decodable or not.
bool HasVideoStream(const FilterGraph& graph) {
  for (media::Filter* filter : graph.Filters()) {
    const auto* source = dynamic_cast<const media::FileSource*>(filter);
    if (source && source->video_pin()) return true;
  }
  return false;
}

// The same for a sound stream.
bool HasAudioStream(const FilterGraph& graph) {
  for (media::Filter* filter : graph.Filters()) {
    const auto* source = dynamic_cast<const media::FileSource*>(filter);
    if (source && source->audio_pin()) return true;
  }
  return false;
}

// Why the source's sound stream reaches no decoder, as the user reads it.
std::string UndecodableSoundReason(const FilterGraph& graph) {
  for (media::Filter* filter : graph.Filters()) {
    const auto* source = dynamic_cast<const media::FileSource*>(filter);
    if (source && source->audio_pin())
      return media::UndecodableReason(source->Info(*source->audio_pin()));
  }
  return "";
}

// Why the source's picture is refused for its colours (an HDR or wide
// gamut stream this build cannot convert); "" when that is not why.
std::string UnconvertiblePictureReason(const FilterGraph& graph) {
  for (media::Filter* filter : graph.Filters()) {
    const auto* source = dynamic_cast<const media::FileSource*>(filter);
    if (!source || !source->video_pin()) continue;
    const media::StreamInfo& info = source->Info(*source->video_pin());
    if (info.parameters)
      return media::UnconvertibleColours(media::ColourFacts::Of(*info.parameters));
  }
  return "";
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

SourceLength SplitSourceLength(double seconds) {
  SourceLength length;
  length.seconds = seconds;
  const int64_t whole = std::isfinite(seconds) && seconds > 0 ? static_cast<int64_t>(seconds) : 0;
  length.hours = static_cast<int>(whole / 3600);
  length.minutes = static_cast<int>(whole / 60 % 60);
  length.secs = static_cast<int>(whole % 60);
  return length;
}

PlaybackGraph::PlaybackGraph(CaptureStage* capture, RecordingClock* clock,
                             PlaybackControl* control, PlaybackGraphHost* host)
    : capture_(capture), clock_(clock), control_(control), host_(host) {}

media::FilterGraph* PlaybackGraph::graph() const {
  return graph_ ? graph_->graph.get() : nullptr;
}

PlaybackGraph::~PlaybackGraph() {
  if (worker_.joinable()) worker_.join();
  ClosePlaybackGraph();
  // A stop that timed out may still be running inside these graphs, on a
  // helper thread nobody waits for; they are left to the end of the process.
  if (!abandoned_.empty()) {
    static auto* const kept = new std::vector<std::shared_ptr<Built>>;
    kept->insert(kept->end(), abandoned_.begin(), abandoned_.end());
  }
}

int32_t PlaybackGraph::Fail(int32_t result, const std::string& reason) {
  TracePrintf("Cannot open %s: %s (hr=0x%x)", source_path_.c_str(), reason.c_str(),
              static_cast<unsigned>(result));
  ShowMessageBox(std::string(TranslateMessage("Cannot open the file")) + "\n" + source_path_ +
                     "\n" + TranslateMessage(reason.c_str()),
                 MessageKind::kError);
  ClosePlaybackGraph();
  host_->SetBusyCursor(false);
  return result;
}

int32_t PlaybackGraph::BuildPlaybackGraph() {
  host_->FocusVideoPanel();
  if (render_state_.load() == RenderState::kRendering) return 0;
  render_state_.store(RenderState::kRendering);
  if (worker_.joinable()) worker_.join();

  ClosePlaybackGraph();
  closed_during_build_ = false;

  // The clock starts again at real time for the new source.
  clock_->SetSpeed(1.0f);
  clock_->RestartBase();
  WriteTraceLine("Render ...\n");
  host_->SetBusyCursor(true);
  capture_->ResetForNewSource();
  host_->HideStillPicture();
  host_->ClearProgressText();

  auto built = std::make_shared<Built>();
  graph_ = built;
  FilterGraph& graph = *built->graph;
  graph.SetVideoSurface(host_->PreviewSurface());
  graph.SetAudioSink(host_->PreviewSink());

  built->video_grabber = std::make_shared<media::VideoGrabber>();
  built->audio_grabber = std::make_shared<media::AudioGrabber>();
  MediaResult result = graph.AddFilter(built->video_grabber, "Video Grabber");
  if (media::Failed(result)) {
    TraceFailed(result, "pGB->AddFilter(pVxGrabberBaseFilter_Video,L\"Video Grabber\")");
    render_state_.store(RenderState::kIdle);
    host_->SetBusyCursor(false);
    return result;
  }
  result = graph.AddFilter(built->audio_grabber, "Audio Grabber");
  if (media::Failed(result)) {
    TraceFailed(result, "pGB->AddFilter(pVxGrabberBaseFilter_Audio,L\"Audio Grabber\")");
    render_state_.store(RenderState::kIdle);
    host_->SetBusyCursor(false);
    return result;
  }
  // Audio of any format; the media layer delivers it as PCM.
  media::MediaType accepted;
  accepted.major = media::MajorType::kAudio;
  built->audio_grabber->SetAcceptedMediaType(accepted);
  graph.events().SetNotify([host = host_] { host->PostGraphNotify(); });

  // Render on the worker while this thread keeps the window alive.
  worker_ = std::thread([this, built, path = source_path_] {
    MediaResult render = media::kErrorFileNotFound;
    if (!path.empty()) render = built->graph->RenderFile(path);
    {
      MutexLock lock(&render_mutex_);
      built->render_result = render;
      render_state_.store(RenderState::kIdle);
    }
    rendered_.SignalAll();
  });
  bool interrupted = false;
  while (render_state_.load() == RenderState::kRendering) {
    {
      MutexLock lock(&render_mutex_);
      if (render_state_.load() == RenderState::kRendering)
        rendered_.WaitFor(&render_mutex_, std::chrono::milliseconds(180));
    }
    host_->PumpMessages();
    if (!interrupted && interrupt_ && interrupt_->load()) {
      // The render ends as soon as libavformat next looks at the flag.
      interrupted = true;
      built->graph->AbortRender();
    }
  }
  worker_.join();

  // Interrupted while the file was read: the source is not opened, even if
  // the render got through.
  if (interrupt_ && interrupt_->load()) interrupted = true;
  if (interrupted && graph_ == built) {
    WriteTraceLine("Render interrupted");
    ClosePlaybackGraph();
  }
  if (closed_during_build_ || graph_ != built) {
    host_->SetBusyCursor(false);
    return 1;
  }
  if (media::Failed(built->render_result))
    return Fail(built->render_result, RenderFailureReason(built->render_result));

  // Without a picture reaching the video grabber nothing would ever stream
  // into a conversion: such a source is not opened at all. A picture that
  // reaches a renderer past the grabber is routed through it below.
  if (!built->video_grabber->in()->IsConnected() &&
      graph.FindFilterByName("Video Renderer") == nullptr) {
    if (const std::string why = UnconvertiblePictureReason(graph); !why.empty())
      return Fail(media::kErrorCannotRender, "Its picture cannot be converted: " + why + ".");
    return Fail(media::kErrorCannotRender,
                HasVideoStream(graph) ? "Its picture cannot be decoded."
                                      : "It has no picture, only sound: there is nothing to "
                                        "convert.");
  }

  media::MediaType video_type;
  if (built->video_grabber->GetConnectedMediaType(&video_type) == 0) {
    const media::BitmapHeader& bmi = video_type.format_type == media::FormatType::kVideoInfo2
                                         ? video_type.video2.bmi
                                         : video_type.video.bmi;
    if (bmi.width > kMaxPictureSide || std::abs(bmi.height) > kMaxPictureSide) {
      char reason[96];
      std::snprintf(reason, sizeof reason, "The picture is too large (%dx%d).", bmi.width,
                    std::abs(bmi.height));
      return Fail(media::kErrorTypeNotAccepted, reason);
    }
  }

  result = graph.SetReferenceClock(Unowned(clock_));
  if (media::Failed(result)) {
    TraceFailed(result, "pMediaFilter->SetSyncSource(pRecordingClock)");
    host_->SetBusyCursor(false);
    return result;
  }
  host_->HideStillPicture();
  // While converting to a lower frame rate, pictures the output does not
  // show and nothing refers to are not decoded.
  for (media::Filter* filter : graph.Filters()) {
    if (auto* decoder = dynamic_cast<media::VideoDecoder*>(filter)) {
      decoder->set_picture_demand(
          [capture = capture_](media::ReferenceTime previous, media::ReferenceTime after,
                               media::ReferenceTime start, media::ReferenceTime stop) {
            return capture->UsesPicture(previous, after, start, stop);
          });
    }
  }
  built->video_grabber->SetCallback(capture_->VideoCallback());
  built->audio_grabber->SetCallback(capture_->AudioCallback());
  built->video_grabber->SetEndOfStreamCallback([capture = capture_] { capture->OnVideoEnd(); });
  built->audio_grabber->SetEndOfStreamCallback([capture = capture_] { capture->OnAudioEnd(); });
  capture_->SetConnectedTypeQueries(
      [grabber = built->video_grabber](media::MediaType* type) {
        return grabber->GetConnectedMediaType(type) == 0;
      },
      [grabber = built->audio_grabber](media::MediaType* type) {
        return grabber->GetConnectedMediaType(type) == 0;
      });
  CheckGraphConnections(false);
  if (!video_grabber_connected_) {
    // The warning was shown; the source stays closed.
    ClosePlaybackGraph();
    host_->SetBusyCursor(false);
    return media::kErrorNotConnected;
  }
  capture_->AdoptVideoType(nullptr);
  capture_->AdoptAudioType(nullptr);
  // Players and devices expect a sound track: where no sound reaches the
  // capture, the output gets silence.
  if (!audio_grabber_connected_) capture_->SetSourceHasSound(false);
  if (!HasAudioStream(graph)) {
    WriteTraceLine("No sound: the output gets a silent track");
    ShowMessageBox(source_path_ + " " +
                       TranslateMessage("has no sound; the output gets a silent sound track"),
                   MessageKind::kInformation);
  } else if (!audio_grabber_connected_) {
    const std::string why = UndecodableSoundReason(graph);
    WriteTraceLine("Sound cannot be decoded (" + why + "): the output gets a silent track");
    ShowMessageBox(source_path_ + " " + TranslateMessage("has sound that cannot be decoded") +
                       " (" + why + "); " +
                       TranslateMessage("the output gets a silent sound track"),
                   MessageKind::kInformation);
  }

  built->control = std::make_unique<Control>(built->graph);
  source_ready_ = true;
  host_->SourceReady(source_path_);
  control_->SetGraph(built->control.get(), video_grabber_connected_);

  double duration = 0;
  if (media::Succeeded(graph.GetDuration(&duration))) {
    source_length_ = SplitSourceLength(duration);
    host_->SourceLengthKnown(duration);
  }
  host_->ShowGuide(4);
  host_->SetBusyCursor(false);
  return 0;
}

void PlaybackGraph::SetShownPictureSize(int width, int height) {
  if (!graph_) return;
  for (media::Filter* filter : graph_->graph->Filters()) {
    if (auto* decoder = dynamic_cast<media::VideoDecoder*>(filter))
      decoder->set_shown_size(width, height);
  }
}

void PlaybackGraph::ClosePlaybackGraph() {
  WriteTraceLine("CloseDVDVolume ...");
  if (render_state_.load() == RenderState::kRendering) {
    closed_during_build_ = true;
    // The render worker stops reading the file it no longer needs.
    if (graph_) graph_->graph->AbortRender();
  }
  const bool stop_timed_out = control_->stop_timed_out();
  if (graph_) {
    FilterGraph& graph = *graph_->graph;
    // After a stop that timed out the stuck stop is still stopping the
    // graph; another would block here behind it.
    if (!stop_timed_out && graph.GetState() != media::GraphState::kStopped) graph.Stop();
    if (stop_timed_out) {
      abandoned_.push_back(graph_);
    } else if (render_state_.load() == RenderState::kIdle) {
      ReleaseBuilt();
    } else {
      // The worker still renders into it; it holds the graph until it ends.
    }
    graph_.reset();
  }
  source_ready_ = false;
  video_grabber_connected_ = false;
  audio_grabber_connected_ = false;
  control_->SetGraph(nullptr, false);
  host_->GraphClosed();
  WriteTraceLine("CloseDVDVolume finished");
}

void PlaybackGraph::ReleaseBuilt() {
  FilterGraph& graph = *graph_->graph;
  graph.SetReferenceClock(nullptr);
  graph.events().SetNotify({});
  if (graph_->video_grabber) {
    graph_->video_grabber->SetCallback({});
    graph_->video_grabber->SetEndOfStreamCallback({});
  }
  if (graph_->audio_grabber) {
    graph_->audio_grabber->SetCallback({});
    graph_->audio_grabber->SetEndOfStreamCallback({});
  }
  std::vector<media::Filter*> filters = graph.Filters();
  for (media::Filter* filter : filters) graph.RemoveFilter(filter);
  capture_->SetConnectedTypeQueries({}, {});
}

void PlaybackGraph::SetFreeRunning(bool free_running) {
  if (graph_) graph_->graph->SetFreeRunning(free_running);
}

int32_t PlaybackGraph::CheckGraphConnections(bool check_only) {
  if (!graph_) return 0;
  FilterGraph& graph = *graph_->graph;
  bool video_missing = false;
  bool audio_missing = false;
  std::set<media::Filter*> removed;
  WriteTraceLine("----------------------------------------");
  for (media::Filter* filter : graph.Filters()) {
    if (removed.count(filter)) continue;
    TracePrintf("Filter: %s", filter->name().c_str());
    for (const auto& pin : filter->pins()) {
      media::Pin* peer = pin->ConnectedTo();
      if (!peer) {
        TracePrintf("\t Pin:  %-20s not connected", pin->name().c_str());
        if (filter->name() == "Video Grabber") video_missing = true;
        if (filter->name() == "Audio Grabber") audio_missing = true;
        continue;
      }
      if (pin->direction() == media::PinDirection::kInput) {
        TracePrintf("\t InputPin:  %-12s", pin->name().c_str());
        continue;
      }
      media::Filter* next = peer->filter();
      TracePrintf("\t Pin:  %-12s --> %s", pin->name().c_str(), next->name().c_str());
      // A second renderer the graph added ("Video Renderer 0001").
      if (StartsWith(next->name(), "Video Renderer") && next->name().size() > 14) {
        graph.Disconnect(pin.get());
        removed.insert(next);
        graph.RemoveFilter(next);
        WriteTraceLine("Removie Video Renderer");
      }
    }
  }
  WriteTraceLine("----------------------------------------");
  video_grabber_connected_ = !video_missing;
  audio_grabber_connected_ = !audio_missing;
  if (check_only) return 0;

  if (video_missing) {
    graph.Stop();
    if (ReconnectVideoGrabber() == 0) {
      video_grabber_connected_ = true;
    } else {
      host_->HideBlankScreens();
      WriteTraceLine("**** VideoGrabber not connected ****");
      // The batch tool plays files through this same graph: it would fail
      // the same way, so the warning sends nobody there.
      ShowMessageBox(TranslateMessage("Video cannot be played."), MessageKind::kWarning);
    }
  }
  // A source whose sound cannot be decoded is converted as one without
  // sound, with a silent track (said when the source opens).
  if (audio_missing && HasAudioStream(graph)) WriteTraceLine("**** AudioGrabber not connected ****");
  return video_missing || audio_missing ? -1 : 0;
}

int32_t PlaybackGraph::ReconnectVideoGrabber() {
  if (!graph_) return media::kErrorFail;
  FilterGraph& graph = *graph_->graph;
  media::Filter* renderer = graph.FindFilterByName("Overlay Mixer2");
  if (!renderer) renderer = graph.FindFilterByName("Overlay Mixer");
  if (!renderer) renderer = graph.FindFilterByName("Video Renderer");
  media::Pin* vr_in = renderer ? renderer->InputPin() : nullptr;
  media::Pin* decoder_out = vr_in ? vr_in->ConnectedTo() : nullptr;
  if (!decoder_out) {
    TraceFailed(media::kErrorNotConnected, "vr_in->ConnectedTo(&decoder_out)");
    return media::kErrorNotConnected;
  }
  MediaResult result = graph.Disconnect(vr_in);
  if (media::Failed(result)) {
    TraceFailed(result, "pGB->Disconnect(vr_in)");
    return result;
  }
  result = graph.Disconnect(decoder_out);
  if (media::Failed(result)) {
    TraceFailed(result, "pGB->Disconnect(decoder_out)");
    return result;
  }
  // Lowering the display's video acceleration has no counterpart here.
  WriteTraceLine("Retry");
  WriteTraceLine("Retry1");
  media::VideoGrabber& grabber = *graph_->video_grabber;
  media::Pin* vg_in = grabber.FindPin("In");
  if (!vg_in) {
    TraceFailed(media::kErrorNotFound, "pVxGrabberBaseFilter_Video->FindPin(L\"In\", &vg_in)");
    return media::kErrorNotFound;
  }
  media::Pin* vg_out = grabber.FindPin("Out");
  if (!vg_out) {
    TraceFailed(media::kErrorNotFound, "pVxGrabberBaseFilter_Video->FindPin(L\"Out\", &vg_out)");
    return media::kErrorNotFound;
  }
  result = graph.Connect(decoder_out, vg_in);
  if (media::Failed(result)) {
    TraceFailed(result, "decoder_out->Connect(vg_in,NULL)");
    // Put the picture back on the screen as it was.
    graph.Connect(decoder_out, vr_in);
    return result;
  }
  WriteTraceLine("Retry2");
  result = graph.Render(vg_out);
  if (media::Failed(result)) {
    TraceFailed(result, "pGB->Render(vg_out)");
    return result;
  }
  WriteTraceLine("Retry3");
  host_->PumpMessages();
  return 0;
}

}  // namespace ovc
