#include "platform/media/media_test_support.h"

#include "platform/media/media_formats.h"
#include "support/clip_generator.h"

namespace ovc::media::test {

// --- FakeClock ---

ReferenceTime FakeClock::GetTime() {
  std::lock_guard lock(mutex_);
  return now_;
}

bool FakeClock::WaitUntil(ReferenceTime time, std::stop_token cancel) {
  std::unique_lock lock(mutex_);
  ++wait_calls_;
  auto it = blocked_.insert(time);
  changed_.notify_all();
  const bool reached = changed_.wait(lock, cancel, [&] { return now_ >= time; });
  blocked_.erase(it);
  changed_.notify_all();
  return reached;
}

void FakeClock::Set(ReferenceTime now) {
  std::lock_guard lock(mutex_);
  now_ = now;
  changed_.notify_all();
}

bool FakeClock::WaitForWaiter(ReferenceTime time) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return blocked_.count(time) > 0; });
}

bool FakeClock::WaitForBlockedCount(size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return blocked_.size() == count; });
}

std::vector<ReferenceTime> FakeClock::blocked() const {
  std::lock_guard lock(mutex_);
  return std::vector<ReferenceTime>(blocked_.begin(), blocked_.end());
}

int FakeClock::wait_calls() const {
  std::lock_guard lock(mutex_);
  return wait_calls_;
}

// --- GrabberRecorder ---

GrabberRecorder::GrabberRecorder(VideoGrabber* video, AudioGrabber* audio)
    : video_grabber_(video), audio_grabber_(audio) {
  if (video_grabber_) {
    video_grabber_->SetCallback([this](MediaSample& sample, ReferenceTime* start,
                                       ReferenceTime* stop, int32_t, int32_t changed) {
      return OnVideo(sample, start, stop, changed);
    });
  }
  if (audio_grabber_) {
    audio_grabber_->SetCallback([this](MediaSample& sample, ReferenceTime* start,
                                       ReferenceTime* stop, int32_t, int32_t changed) {
      return OnAudio(sample, start, stop, changed);
    });
  }
  // On a running graph the callbacks may already be updating the types.
  std::lock_guard lock(mutex_);
  if (video_grabber_) video_grabber_->GetConnectedMediaType(&video_type_);
  if (audio_grabber_) audio_grabber_->GetConnectedMediaType(&audio_type_);
}

GrabberRecorder::~GrabberRecorder() {
  if (video_grabber_) video_grabber_->SetCallback(nullptr);
  if (audio_grabber_) audio_grabber_->SetCallback(nullptr);
}

void GrabberRecorder::BlockVideoAt(int index) {
  std::lock_guard lock(mutex_);
  block_at_ = index;
}

void GrabberRecorder::Release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

bool GrabberRecorder::WaitUntilBlocked() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [this] { return blocked_; });
}

void GrabberRecorder::OnEachVideo(std::function<void(const VideoRecord&)> hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

int32_t GrabberRecorder::OnVideo(MediaSample& sample, ReferenceTime* start, ReferenceTime* stop,
                                 int32_t changed) {
  std::unique_lock lock(mutex_);
  if (changed) sample.GetMediaType(&video_type_);
  VideoRecord record;
  int32_t width = 0, height = 0, stride = 0;
  if (Yuy2Geometry(video_type_, &width, &height, &stride) && sample.length() >= stride * height) {
    record.frame_number = ovc::test::ReadFrameNumberFromYuy2(sample.data(), width, height, stride);
    record.flash = ovc::test::IsFlashYuy2(sample.data(), width, height, stride);
  }
  record.start = *start;
  record.stop = *stop;
  record.length = sample.length();
  record.type_changed = changed;
  record.other_latest = latest_audio_;
  latest_video_ = *start;
  video_.push_back(record);
  changed_.notify_all();
  if (static_cast<int>(video_.size()) - 1 == block_at_) {
    blocked_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    returned_after_block_ = true;
  }
  auto hook = hook_;
  lock.unlock();
  if (hook) hook(record);
  return 0;
}

int32_t GrabberRecorder::OnAudio(MediaSample& sample, ReferenceTime* start, ReferenceTime* stop,
                                 int32_t changed) {
  std::lock_guard lock(mutex_);
  if (changed) sample.GetMediaType(&audio_type_);
  AudioRecord record;
  record.start = *start;
  record.stop = *stop;
  record.length = sample.length();
  record.first_sample = static_cast<int64_t>(channel0_.size());
  record.other_latest = latest_video_;
  const WaveFormat& wave = audio_type_.wave;
  if (wave.block_align > 0) {
    const int frames = sample.length() / wave.block_align;
    for (int i = 0; i < frames; ++i) {
      const uint8_t* frame = sample.data() + i * wave.block_align;
      if (wave.bits_per_sample == 8) {
        channel0_.push_back(static_cast<int16_t>((frame[0] - 128) * 256));
      } else {
        channel0_.push_back(static_cast<int16_t>(frame[0] | (frame[1] << 8)));
      }
    }
  }
  latest_audio_ = *start;
  audio_.push_back(record);
  changed_.notify_all();
  return 0;
}

bool GrabberRecorder::WaitForVideoCount(size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return video_.size() >= count; });
}

bool GrabberRecorder::WaitForAudioCount(size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return audio_.size() >= count; });
}

bool GrabberRecorder::WaitForAudioAt(ReferenceTime start) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return latest_audio_ >= start; });
}

std::vector<VideoRecord> GrabberRecorder::video() const {
  std::lock_guard lock(mutex_);
  return video_;
}

std::vector<AudioRecord> GrabberRecorder::audio() const {
  std::lock_guard lock(mutex_);
  return audio_;
}

std::vector<int16_t> GrabberRecorder::channel0() const {
  std::lock_guard lock(mutex_);
  return channel0_;
}

MediaType GrabberRecorder::video_type() const {
  std::lock_guard lock(mutex_);
  return video_type_;
}

MediaType GrabberRecorder::audio_type() const {
  std::lock_guard lock(mutex_);
  return audio_type_;
}

// --- RecordingSurface ---

void RecordingSurface::Present(const VideoFrameView& frame) {
  const int number =
      ovc::test::ReadFrameNumberFromYuy2(frame.data, frame.width, frame.height, frame.stride);
  std::lock_guard lock(mutex_);
  shown_.push_back(number);
  changed_.notify_all();
}

std::vector<int> RecordingSurface::shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

bool RecordingSurface::WaitForShown(size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return shown_.size() >= count; });
}

// --- RecordingSink ---

bool RecordingSink::Open(const WaveFormat&) { return true; }

void RecordingSink::Play(const uint8_t*, int32_t bytes) {
  std::lock_guard lock(mutex_);
  played_bytes_ += bytes;
  ++play_calls_;
  changed_.notify_all();
}

void RecordingSink::SetVolume(double gain) {
  std::lock_guard lock(mutex_);
  gain_ = gain;
}

void RecordingSink::Flush() {}

int64_t RecordingSink::played_bytes() const {
  std::lock_guard lock(mutex_);
  return played_bytes_;
}

int RecordingSink::play_calls() const {
  std::lock_guard lock(mutex_);
  return play_calls_;
}

double RecordingSink::gain() const {
  std::lock_guard lock(mutex_);
  return gain_;
}

bool RecordingSink::WaitForPlayCalls(int count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return play_calls_ >= count; });
}

// --- Helpers ---

int32_t WaitForEvent(FilterGraph& graph) {
  int32_t code = 0;
  const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(kDeadline).count();
  if (Failed(graph.events().GetEvent(&code, nullptr, nullptr, static_cast<int32_t>(timeout)))) {
    return -1;
  }
  return code;
}

std::vector<int32_t> PendingEvents(FilterGraph& graph) {
  std::vector<int32_t> codes;
  int32_t code = 0;
  while (Succeeded(graph.events().GetEvent(&code, nullptr, nullptr, 0))) codes.push_back(code);
  return codes;
}

}  // namespace ovc::media::test
