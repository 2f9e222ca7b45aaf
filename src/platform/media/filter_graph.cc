#include "platform/media/filter_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/media/audio_decoder.h"
#include "platform/media/audio_renderer.h"
#include "platform/media/file_source.h"
#include "platform/media/grabber_filter.h"
#include "platform/media/video_decoder.h"

namespace ovc::media {
namespace {

// Longest chain of filters walked from a renderer back to its decoder.
constexpr int kMaxChain = 16;

}  // namespace

FilterGraph::FilterGraph()
    : scheduler_([this] { events_.Post(kEventComplete, kOk, 0); }),
      surface_(std::make_shared<NullVideoSurface>()),
      sink_(std::make_shared<NullAudioSink>()),
      wall_time_(SteadyWallTime()) {}

FilterGraph::~FilterGraph() {
  Stop();
  MutexLock control(&control_mutex_);
  for (const auto& filter : FilterSnapshot()) RemoveFilterLocked(filter.get());
}

// --- Filters and pins. ---

MediaResult FilterGraph::AddFilter(std::shared_ptr<Filter> filter, std::string_view name) {
  MutexLock control(&control_mutex_);
  return AddFilterLocked(std::move(filter), name);
}

MediaResult FilterGraph::AddFilterLocked(std::shared_ptr<Filter> filter, std::string_view name) {
  if (!filter || filter->graph_) return kErrorInvalidArg;
  MutexLock lock(&filters_mutex_);
  std::vector<std::string> taken;
  for (const auto& f : filters_) taken.push_back(f->name_);
  std::string unique(name);
  for (int n = 1; std::find(taken.begin(), taken.end(), unique) != taken.end(); ++n) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " %04d", n);
    unique = std::string(name) + suffix;
  }
  filter->name_ = unique;
  filter->graph_ = this;
  if (auto* renderer = dynamic_cast<RendererFilter*>(filter.get())) {
    renderer->scheduler_ = &scheduler_;
  }
  filters_.push_back(std::move(filter));
  return kOk;
}

MediaResult FilterGraph::RemoveFilter(Filter* filter) {
  MutexLock control(&control_mutex_);
  return RemoveFilterLocked(filter);
}

MediaResult FilterGraph::RemoveFilterLocked(Filter* filter) {
  if (!ContainsLocked(filter)) return kErrorNotFound;
  if (scheduler_.state() != GraphState::kStopped) return kErrorNotStopped;
  for (const auto& pin : filter->pins_) DisconnectLocked(pin.get());
  MutexLock lock(&filters_mutex_);
  auto it = std::find_if(filters_.begin(), filters_.end(),
                         [filter](const auto& f) { return f.get() == filter; });
  std::shared_ptr<Filter> removed = std::move(*it);
  filters_.erase(it);
  removed->graph_ = nullptr;
  removed->name_.clear();
  if (auto* renderer = dynamic_cast<RendererFilter*>(removed.get())) {
    renderer->scheduler_ = nullptr;
    renderer->stream_ = -1;
  }
  return kOk;
}

Filter* FilterGraph::FindFilterByName(std::string_view name) const {
  MutexLock lock(&filters_mutex_);
  for (const auto& filter : filters_) {
    if (filter->name_ == name) return filter.get();
  }
  return nullptr;
}

std::vector<Filter*> FilterGraph::Filters() const {
  MutexLock lock(&filters_mutex_);
  std::vector<Filter*> filters;
  for (const auto& filter : filters_) filters.push_back(filter.get());
  return filters;
}

std::vector<std::shared_ptr<Filter>> FilterGraph::FilterSnapshot() const {
  MutexLock lock(&filters_mutex_);
  return filters_;
}

bool FilterGraph::ContainsLocked(const Filter* filter) const {
  return filter && filter->graph_ == this;
}

MediaResult FilterGraph::Connect(Pin* output, Pin* input) {
  MutexLock control(&control_mutex_);
  return ConnectLocked(output, input);
}

MediaResult FilterGraph::ConnectLocked(Pin* output, Pin* input) {
  if (!output || !input || output->direction() != PinDirection::kOutput ||
      input->direction() != PinDirection::kInput) {
    return kErrorInvalidArg;
  }
  if (!ContainsLocked(output->filter()) || !ContainsLocked(input->filter())) {
    return kErrorNotFound;
  }
  if (scheduler_.state() != GraphState::kStopped) return kErrorNotStopped;
  if (output->IsConnected() || input->IsConnected()) return kErrorAlreadyConnected;
  MediaType type;
  if (!output->filter()->ProposeType(*output, &type)) return kErrorTypeNotAccepted;
  if (!input->filter()->AcceptInput(*input, *output, type)) return kErrorTypeNotAccepted;

  output->peer_ = input;
  input->peer_ = output;
  output->set_media_type(type);
  input->set_media_type(type);
  MediaResult result = output->filter()->OnConnected(*output);
  if (Succeeded(result)) {
    result = input->filter()->OnConnected(*input);
    if (Failed(result)) output->filter()->OnDisconnected(*output);
  }
  if (Failed(result)) {
    output->peer_ = nullptr;
    input->peer_ = nullptr;
    output->set_media_type(MediaType());
    input->set_media_type(MediaType());
  }
  return result;
}

MediaResult FilterGraph::Disconnect(Pin* pin) {
  MutexLock control(&control_mutex_);
  return DisconnectLocked(pin);
}

MediaResult FilterGraph::DisconnectLocked(Pin* pin) {
  if (!pin) return kErrorInvalidArg;
  if (!ContainsLocked(pin->filter())) return kErrorNotFound;
  if (scheduler_.state() != GraphState::kStopped) return kErrorNotStopped;
  Pin* peer = pin->peer_;
  if (!peer) return kFalse;
  pin->peer_ = nullptr;
  peer->peer_ = nullptr;
  pin->set_media_type(MediaType());
  peer->set_media_type(MediaType());
  pin->filter()->OnDisconnected(*pin);
  peer->filter()->OnDisconnected(*peer);
  return kOk;
}

MediaResult FilterGraph::Render(Pin* output) {
  MutexLock control(&control_mutex_);
  return RenderLocked(output);
}

MediaResult FilterGraph::RenderLocked(Pin* output) {
  if (!output || output->direction() != PinDirection::kOutput) return kErrorInvalidArg;
  if (!ContainsLocked(output->filter())) return kErrorNotFound;
  if (output->IsConnected()) return kErrorAlreadyConnected;
  MediaType type;
  if (!output->filter()->ProposeType(*output, &type)) return kErrorCannotRender;
  const bool video = type.major == MajorType::kVideo;
  if (!video && type.major != MajorType::kAudio) return kErrorCannotRender;

  for (const auto& filter : FilterSnapshot()) {
    auto* renderer = dynamic_cast<RendererFilter*>(filter.get());
    if (!renderer || renderer->in()->IsConnected()) continue;
    const bool video_renderer = dynamic_cast<VideoRenderer*>(renderer) != nullptr;
    if (video_renderer != video) continue;
    if (Succeeded(ConnectLocked(output, renderer->in()))) return kOk;
  }

  std::shared_ptr<RendererFilter> renderer;
  {
    MutexLock lock(&filters_mutex_);
    if (video) renderer = std::make_shared<VideoRenderer>(surface_, wall_time_);
    else renderer = std::make_shared<AudioRenderer>(sink_);
  }
  MediaResult result = AddFilterLocked(renderer, video ? "Video Renderer" : "Audio Renderer");
  if (Failed(result)) return result;
  result = ConnectLocked(output, renderer->in());
  if (Failed(result)) {
    RemoveFilterLocked(renderer.get());
    return kErrorCannotRender;
  }
  return kOk;
}

MediaResult FilterGraph::RenderFile(const std::string& path) {
  MutexLock control(&control_mutex_);
  if (scheduler_.state() != GraphState::kStopped) return kErrorNotStopped;
  if (render_aborted_.load()) return kErrorAbort;
  MediaResult result = kOk;
  std::shared_ptr<FileSource> source = FileSource::Open(path, &result, &render_aborted_);
  if (!source) return result;
  result = AddFilterLocked(source, path);
  if (Failed(result)) return result;

  std::vector<Filter*> added = {source.get()};
  int streams = 0;
  int rendered = 0;
  for (Pin* pin : {source->video_pin(), source->audio_pin()}) {
    if (!pin) continue;
    ++streams;
    const bool video = pin == source->video_pin();
    std::shared_ptr<DecoderFilter> decoder;
    if (video) decoder = std::make_shared<VideoDecoder>();
    else decoder = std::make_shared<AudioDecoder>();
    AddFilterLocked(decoder, video ? "Video Decoder" : "Audio Decoder");
    added.push_back(decoder.get());
    if (Failed(ConnectLocked(pin, decoder->in()))) continue;

    Pin* tail = decoder->out();
    for (const auto& filter : FilterSnapshot()) {
      auto* grabber = dynamic_cast<GrabberFilter*>(filter.get());
      if (!grabber || grabber->in()->IsConnected()) continue;
      const bool video_grabber = dynamic_cast<VideoGrabber*>(grabber) != nullptr;
      if (video_grabber != video) continue;
      if (Succeeded(ConnectLocked(tail, grabber->in()))) {
        tail = grabber->out();
        break;
      }
    }
    if (Succeeded(RenderLocked(tail))) ++rendered;
  }
  if (rendered == 0) {
    // Leave the graph as it was.
    for (Filter* filter : added) RemoveFilterLocked(filter);
    return kErrorCannotRender;
  }
  // Decoders that found nothing to decode are of no use in the graph.
  for (Filter* filter : added) {
    auto* decoder = dynamic_cast<DecoderFilter*>(filter);
    if (decoder && !decoder->in()->IsConnected()) RemoveFilterLocked(decoder);
  }
  duration_ = std::max<ReferenceTime>(duration_, source->duration());
  return rendered == streams ? kOk : kPartialRender;
}

void FilterGraph::SetVideoSurface(std::shared_ptr<VideoSurface> surface) {
  MutexLock lock(&filters_mutex_);
  surface_ = surface ? std::move(surface) : std::make_shared<NullVideoSurface>();
}

void FilterGraph::SetAudioSink(std::shared_ptr<AudioSink> sink) {
  MutexLock lock(&filters_mutex_);
  sink_ = sink ? std::move(sink) : std::make_shared<NullAudioSink>();
}

void FilterGraph::SetWallTimeSource(WallTimeSource wall_time) {
  MutexLock lock(&filters_mutex_);
  wall_time_ = wall_time ? std::move(wall_time) : SteadyWallTime();
}

// --- Clock and control. ---

MediaResult FilterGraph::SetReferenceClock(std::shared_ptr<ReferenceClock> clock) {
  MutexLock control(&control_mutex_);
  if (scheduler_.state() != GraphState::kStopped) return kErrorNotStopped;
  scheduler_.SetClock(std::move(clock));
  return kOk;
}

std::shared_ptr<ReferenceClock> FilterGraph::GetReferenceClock() const {
  return scheduler_.clock();
}

MediaResult FilterGraph::Run() {
  MutexLock control(&control_mutex_);
  switch (scheduler_.state()) {
    case GraphState::kStopped:
      StartStreamingLocked(GraphState::kRunning);
      break;
    case GraphState::kPaused:
      scheduler_.SetState(GraphState::kRunning);
      break;
    case GraphState::kRunning:
      break;
  }
  return kOk;
}

MediaResult FilterGraph::Pause() {
  MutexLock control(&control_mutex_);
  switch (scheduler_.state()) {
    case GraphState::kStopped:
      StartStreamingLocked(GraphState::kPaused);
      break;
    case GraphState::kRunning:
      scheduler_.SetState(GraphState::kPaused);
      break;
    case GraphState::kPaused:
      break;
  }
  return kOk;
}

MediaResult FilterGraph::Stop() {
  MutexLock control(&control_mutex_);
  if (scheduler_.state() == GraphState::kStopped) return kOk;
  StopStreamingLocked();
  // The next run continues from where this one got to.
  MutexLock lock(&position_mutex_);
  segment_start_ = PositionLocked();
  scheduler_.SetState(GraphState::kStopped);
  return kOk;
}

GraphState FilterGraph::GetState() const { return scheduler_.state(); }

void FilterGraph::SetFreeRunning(bool free_running) { scheduler_.SetFreeRunning(free_running); }

bool FilterGraph::free_running() const { return scheduler_.free_running(); }

DecoderFilter* FilterGraph::FeedingDecoder(const Pin& renderer_input) {
  const Pin* upstream = renderer_input.ConnectedTo();
  for (int step = 0; upstream && step < kMaxChain; ++step) {
    Filter* filter = upstream->filter();
    if (auto* decoder = dynamic_cast<DecoderFilter*>(filter)) {
      return decoder->in()->IsConnected() && upstream == decoder->out() ? decoder : nullptr;
    }
    const Pin* input = filter->InputPin();
    upstream = input ? input->ConnectedTo() : nullptr;
  }
  return nullptr;
}

void FilterGraph::StartStreamingLocked(GraphState state) {
  ReferenceTime start;
  {
    MutexLock lock(&position_mutex_);
    start = segment_start_;
  }
  const std::vector<std::shared_ptr<Filter>> filters = FilterSnapshot();
  scheduler_.BeginSegment(state);
  for (const auto& filter : filters) {
    if (auto* decoder = dynamic_cast<DecoderFilter*>(filter.get())) {
      decoder->scheduler_ = nullptr;
      decoder->stream_ = -1;
    }
  }
  for (const auto& filter : filters) {
    auto* renderer = dynamic_cast<RendererFilter*>(filter.get());
    if (!renderer) continue;
    renderer->stream_ = -1;
    DecoderFilter* decoder = FeedingDecoder(*renderer->in());
    if (!decoder || decoder->stream_ >= 0) continue;
    renderer->stream_ = scheduler_.AddStream();
    decoder->scheduler_ = &scheduler_;
    decoder->stream_ = renderer->stream_;
  }
  for (const auto& filter : filters) filter->PrepareStreaming();
  for (const auto& filter : filters) filter->StartStreaming(StreamSegment{start});
}

void FilterGraph::StopStreamingLocked() {
  const std::vector<std::shared_ptr<Filter>> filters = FilterSnapshot();
  for (const auto& filter : filters) filter->RequestStop();
  scheduler_.EndSegment();
  for (const auto& filter : filters) filter->StopStreaming();
}

// --- Position. ---

MediaResult FilterGraph::GetDuration(double* seconds) const {
  *seconds = static_cast<double>(duration_.load()) / kUnitsPerSecond;
  return kOk;
}

ReferenceTime FilterGraph::PositionLocked() const {
  const ReferenceTime duration = duration_;
  if (scheduler_.AllEnded() && duration > 0) return duration;
  const ReferenceTime position = segment_start_ + scheduler_.Position();
  return duration > 0 ? std::min(position, duration) : position;
}

MediaResult FilterGraph::GetCurrentPosition(double* seconds) const {
  MutexLock lock(&position_mutex_);
  *seconds = static_cast<double>(PositionLocked()) / kUnitsPerSecond;
  return kOk;
}

MediaResult FilterGraph::SetCurrentPosition(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return kErrorInvalidArg;
  MutexLock control(&control_mutex_);
  ReferenceTime target = std::llround(seconds * kUnitsPerSecond);
  const ReferenceTime duration = duration_;
  if (duration > 0) target = std::min(target, duration);
  const GraphState state = scheduler_.state();
  if (state != GraphState::kStopped) StopStreamingLocked();
  {
    MutexLock lock(&position_mutex_);
    segment_start_ = target;
    // Positions of the old segment no longer count.
    scheduler_.ClearStreams();
  }
  if (state != GraphState::kStopped) StartStreamingLocked(state);
  return kOk;
}

// --- Audio. ---

MediaResult FilterGraph::SetVolume(int32_t volume) {
  MediaResult result = kErrorNotImplemented;
  for (const auto& filter : FilterSnapshot()) {
    if (auto* renderer = dynamic_cast<AudioRenderer*>(filter.get())) {
      result = renderer->SetVolume(volume);
      if (Failed(result)) return result;
    }
  }
  return result;
}

MediaResult FilterGraph::GetVolume(int32_t* volume) const {
  for (const auto& filter : FilterSnapshot()) {
    if (auto* renderer = dynamic_cast<AudioRenderer*>(filter.get())) {
      *volume = renderer->volume();
      return kOk;
    }
  }
  return kErrorNotImplemented;
}

// --- Events. ---

MediaResult FilterGraph::RequestRepaint() {
  for (const auto& filter : FilterSnapshot()) {
    if (auto* renderer = dynamic_cast<VideoRenderer*>(filter.get())) {
      if (renderer->Repaint()) return kOk;
    }
  }
  events_.Post(kEventRepaint);
  return kFalse;
}

}  // namespace ovc::media
