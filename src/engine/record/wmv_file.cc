#include "engine/record/wmv_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "common/message_box.h"
#include "common/trace.h"
#include "engine/record/output_file_errors.h"
#include "engine/record/output_shape.h"
#include "engine/record/wmv_codec_list.h"
#include "engine/record/wmv_streams.h"
#include "platform/av/i420_frame.h"
#include "platform/wmf/wm_wide_text.h"

namespace ovc {
namespace {

using wmf::Failed;
using wmf::Succeeded;
using wmf::HResult;
using wmf::MajorType;

constexpr char kProfileFailedText[] = "WMV Profile failed to initialize.";
constexpr char kSetProfileFailedText[] = "Unable to Set System Profile";
constexpr uint32_t kBufferWindow = 3000;  // ms
constexpr uint16_t kAudioStreamNumber = 1;
constexpr uint16_t kVideoStreamNumber = 2;

// Bits per second of a bit rate in kbit/s; negative and absurd values are
// not bit rates and become 0, which the writer refuses.
uint32_t BitsPerSecond(float kbps) {
  double bits = static_cast<double>(kbps) * 1000;
  if (!(bits > 0) || bits > 4.0e9) return 0;
  return static_cast<uint32_t>(bits);
}

// The frame rate as the stream builder takes it: whole frames per second,
// cut toward zero (0 for what is no rate).
int WholeFrameRate(double rate) {
  if (!(rate >= 1) || rate > 1000) return 0;
  return static_cast<int>(rate);
}

}  // namespace

const char* BeginWritingFailureText(HResult hr) {
  switch (hr) {
    case wmf::kEOutOfMemory:
      return "Out of memory. Unable to Initialize Writing.";
    case wmf::kNsEInvalidOutputFormat:
      return "Invalid output format. Unable to Initialize Writing.";
    case wmf::kNsEAudioCodecNotInstalled:
      return "Audio codec not installed. Unable to Initialize Writing.";
    case wmf::kNsEAudioCodecError:
      return "Audio codec error. Unable to Initialize Writing.";
    case wmf::kNsEVideoCodecNotInstalled:
      return "Video codec not installed. Unable to Initialize Writing.";
    case wmf::kNsEVideoCodecError:
      return "Video codec error. Unable to Initialize Writing.";
    default:
      return "Unable to Initialize Writing. Make sure the file/folder is NOT readonly and you "
             "have the permission to write.";
  }
}

bool AspectRatioAttributes(int width, int height, int aspect_x, int aspect_y, uint32_t* x,
                           uint32_t* y) {
  if (width <= 0 || height <= 0 || aspect_x <= 0 || aspect_y <= 0) return false;
  int64_t across = int64_t{height} * aspect_x;
  int64_t down = int64_t{width} * aspect_y;
  int64_t g = std::gcd(across, down);
  *x = static_cast<uint32_t>(across / g);
  *y = static_cast<uint32_t>(down / g);
  return true;
}

CWMVFile::CWMVFile(const OutputConfig& output, const WmvCodecChoice& codecs,
                   const std::string& path, int width, int height, int sampling_rate,
                   int channels)
    : error_text_(kProfileFailedText), path_(path) {
  // Step 1: the frame and audio formats.
  width_ = width;
  height_ = height;
  bits_per_pixel_ = 12;
  sampling_rate_ = sampling_rate;
  channels_ = channels;
  bits_per_sample_ = 16;
  start_time_ = 0;

  bool opened;
  {
    std::unique_lock<std::shared_mutex> lock(state_lock_);
    opened = Open(output, codecs, path);
  }
  if (opened) {
    status_ = 0;
    return;
  }
  // The common failure step.
  ShowFailure(error_text_);
  Close();
  status_ = -1;
}

CWMVFile::~CWMVFile() { Close(); }

bool CWMVFile::Fail(const char* text) {
  error_text_ = text;
  return false;
}

bool CWMVFile::Open(const OutputConfig& output, const WmvCodecChoice& codecs,
                    const std::string& path) {
  if (Failed(wmf::WMCreateProfileManager(&manager_)))
    return Fail("Unable to Create WindowsMedia Profile Manager. Please re-install the software.");
  if (Failed(manager_->SetSystemProfileVersion(wmf::kWmtVer80)))
    return Fail("Unable to Set System Profile Version");
  if (!BuildProfile(output, codecs)) return false;

  if (Failed(wmf::WMCreateWriter(&writer_))) return Fail("Unable to Create Media Writer Object");
  if (Failed(writer_->SetProfile(*profile_))) return Fail(kSetProfileFailedText);
  if (!FindInputs() || !AdjustVideoStream(output)) return false;
  SetAspectAttributes(output);

  std::wstring wide_path;
  if (!wmf::Utf8ToWide(path, &wide_path)) return Fail("Unable to Convert Output Filename");
  if (Failed(writer_->SetOutputFilename(wide_path)))
    return Fail(
        "Unable to Set Output Filename. Make sure the folder exists and you have permissions to "
        "write.\n\nYou may change the output location in File Menu.");
  video_state_ = 1;
  audio_state_ = 1;

  if (!SetInputTypes()) return false;
  HResult hr = writer_->BeginWriting();
  if (Failed(hr)) {
    TracePrintf("FAILED(hr=0x%x) in m_pWriter->BeginWriting()\n", hr);
    return Fail(BeginWritingFailureText(hr));
  }
  return true;
}

bool CWMVFile::BuildProfile(const OutputConfig& output, const WmvCodecChoice& codecs) {
  HResult hr = manager_->CreateEmptyProfile(wmf::kWmtVer90, &profile_);
  if (Failed(hr)) {
    TracePrintf(
        "FAILED(hr=0x%x) in m_pWMProfileManager->CreateEmptyProfile( WMT_VER_9_0, &m_pWMProfile "
        ")\n",
        hr);
    return false;
  }
  if (Failed(hr = profile_->SetName("Profile"))) {
    TracePrintf("FAILED(hr=0x%x) in m_pWMProfile->SetName(L\"Profile\")\n", hr);
    return false;
  }
  if (Failed(hr = profile_->SetDescription("Description"))) {
    TracePrintf("FAILED(hr=0x%x) in m_pWMProfile->SetDescription(L\"Description\")\n", hr);
    return false;
  }

  // The audio stream: the chosen format of the first WMA 9 codec.
  WmAudioCodecList audio;
  EnumerateWmAudioCodecs(codecs.audio_codec, codecs.audio_format, &audio);
  std::unique_ptr<wmf::WmStreamConfig> stream;
  hr = CreateAudioStream(&stream, nullptr, profile_.get(), kBufferWindow, audio.codec_index,
                         audio.format_index, false, 1, kDefaultLanguage);
  if (Failed(hr)) {
    TracePrintf(
        "FAILED(hr=0x%x) in CreateAudioStream(&pNewStreamConfig, NULL, m_pWMProfile, 3000, "
        "AudioCodecIdx, AudioFormatIdx, 0, 1, GetSystemDefaultLCID())\n",
        hr);
    return false;
  }
  if (Failed(hr = stream->SetStreamNumber(kAudioStreamNumber))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetStreamNumber(1)\n", hr);
    return false;
  }
  if (Failed(hr = stream->SetStreamName("Audio"))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetStreamName(L\"Audio\")\n", hr);
    return false;
  }
  if (Failed(hr = stream->SetConnectionName("AudioConnect"))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetConnectionName(L\"AudioConnect\")\n", hr);
    return false;
  }
  if (Failed(hr = profile_->AddStream(*stream))) {
    TracePrintf("FAILED(hr=0x%x) in m_pWMProfile->AddStream( pNewStreamConfig )\n", hr);
    return false;
  }

  // The video stream: the chosen codec at the output size and rate.
  WmVideoCodecList video;
  EnumerateWmVideoCodecs(codecs.video_codec, &video);
  hr = CreateVideoStream(&stream, nullptr, profile_.get(), video.codec_index,
                         BitsPerSecond(output.video_bitrate), kBufferWindow, output.width,
                         output.height, WholeFrameRate(output.out_frame_rate), 75, 2, false,
                         VideoVbrMode::kOff, 0, 0, 10000, kDefaultLanguage);
  if (Failed(hr)) {
    TracePrintf(
        "FAILED(hr=0x%x) in CreateVideoStream(&pNewStreamConfig, NULL, m_pWMProfile, "
        "VideoCodecIdx, output.video_bitrate*1000, 3000, output.width, output.height, "
        "output.out_frame_rate, 75, 2, 0, VBR_OFF, 0, 0, 10000, GetSystemDefaultLCID())\n",
        hr);
    return false;
  }
  if (Failed(hr = stream->SetStreamNumber(kVideoStreamNumber))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetStreamNumber(2)\n", hr);
    return false;
  }
  if (Failed(hr = stream->SetStreamName("Video"))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetStreamName(L\"Video\")\n", hr);
    return false;
  }
  if (Failed(hr = stream->SetConnectionName("VideoConnect"))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetConnectionName(L\"VideoConnect\")\n", hr);
    return false;
  }
  if (Failed(hr = stream->SetBufferWindow(kBufferWindow))) {
    TracePrintf("FAILED(hr=0x%x) in pNewStreamConfig->SetBufferWindow(3000)\n", hr);
    return false;
  }
  if (Failed(hr = profile_->AddStream(*stream))) {
    TracePrintf("FAILED(hr=0x%x) in m_pWMProfile->AddStream( pNewStreamConfig )\n", hr);
    return false;
  }
  return true;
}

bool CWMVFile::FindInputs() {
  uint32_t inputs = 0;
  if (Failed(writer_->GetInputCount(&inputs))) return Fail("Unable to Get input count For Profile");
  for (uint32_t i = 0; i < inputs; ++i) {
    std::unique_ptr<wmf::WmInputMediaProps> props;
    if (Failed(writer_->GetInputProps(i, &props))) return Fail("Unable to GetInput Properties");
    if (props->GetType() == MajorType::kVideo) {
      video_input_ = i;
      video_props_ = std::move(props);
    } else if (props->GetType() == MajorType::kAudio) {
      audio_input_ = i;
      audio_props_ = std::move(props);
    }
  }
  if (!audio_props_) return Fail("Profile Does not Accepts Audio input");
  if (!video_props_) return Fail("Profile Does not Accepts Video input");
  return true;
}

bool CWMVFile::AdjustVideoStream(const OutputConfig& output) {
  std::unique_ptr<wmf::WmStreamConfig> stream;
  if (Failed(profile_->GetStreamByNumber(kVideoStreamNumber, &stream))) return false;
  const uint32_t bitrate = BitsPerSecond(output.video_bitrate);
  if (Failed(stream->SetBitrate(bitrate))) return false;
  wmf::MediaType type = stream->GetMediaType();
  wmf::VideoInfoHeader* video = type.video_info();
  if (!video) return false;
  video->source = wmf::Rect32{0, 0, output.width, output.height};
  video->target = video->source;
  video->bit_rate = bitrate;
  video->bit_error_rate = 0;
  // The exact frame period, also for 29.97 and 14.985 frames per second.
  video->avg_time_per_frame = static_cast<int64_t>(10000000.0 / output.out_frame_rate);
  video->bmi.width = output.width;
  video->bmi.height = output.height;
  video->bmi.image_size = static_cast<uint32_t>(output.width) * output.height * 16 / 8;
  if (Failed(stream->SetMediaType(type)) || Failed(profile_->ReconfigStream(*stream)))
    return false;
  if (Failed(writer_->SetProfile(*profile_))) return Fail(kSetProfileFailedText);
  return true;
}

void CWMVFile::SetAspectAttributes(const OutputConfig& output) {
  uint32_t x = 0;
  uint32_t y = 0;
  int shown_x = 0;
  int shown_y = 0;
  ShownAspectPair(output, &shown_x, &shown_y);
  if (!AspectRatioAttributes(width_, height_, shown_x, shown_y, &x, &y)) return;
  const auto stream = static_cast<uint16_t>(video_input_ + 1);
  HResult hr = writer_->SetAttribute(stream, wmf::kAspectRatioX, x);
  if (Succeeded(hr)) hr = writer_->SetAttribute(stream, wmf::kAspectRatioY, y);
  if (Failed(hr)) TracePrintf("FAILED(hr=0x%x) in pHeaderInfo->SetAttribute(AspectRatio)\n", hr);
}

bool CWMVFile::SetInputTypes() {
  // Audio: the input's PCM as it comes.
  wmf::MediaType audio;
  audio.major_type = MajorType::kAudio;
  audio.subtype = wmf::kSubtypePcm;
  audio.fixed_size_samples = false;
  audio.temporal_compression = false;
  audio.sample_size = 0;
  wmf::WaveFormatEx wave;
  wave.format_tag = wmf::kWaveFormatPcm;
  wave.channels = static_cast<uint16_t>(channels_);
  wave.samples_per_sec = static_cast<uint32_t>(sampling_rate_);
  wave.block_align = static_cast<uint16_t>(channels_ * bits_per_sample_ / 8);
  wave.avg_bytes_per_sec = wave.samples_per_sec * wave.block_align;
  wave.bits_per_sample = static_cast<uint16_t>(bits_per_sample_);
  wave.extra_size = 0;
  audio.SetWaveFormat(wave);
  if (Failed(audio_props_->SetMediaType(audio))) return Fail("Unable to Set Audio Media Type");
  if (Failed(writer_->SetInputProps(audio_input_, *audio_props_)))
    return Fail("Unable to Set Audio Input Properties for Media Writer");
  audio_state_ = 2;

  // Video: planar I420 frames of the output size.
  wmf::MediaType video;
  video.major_type = MajorType::kVideo;
  video.subtype = wmf::kSubtypeI420;
  video.fixed_size_samples = false;
  video.temporal_compression = false;
  video.sample_size = 0;
  wmf::VideoInfoHeader info;
  info.source = wmf::Rect32{0, 0, width_, height_};
  info.target = info.source;
  info.bit_rate = 0;
  info.bit_error_rate = 0;
  info.avg_time_per_frame = 30;
  info.bmi.size = sizeof(wmf::BitmapInfoHeader);
  info.bmi.width = width_;
  info.bmi.height = height_;
  info.bmi.planes = 1;
  info.bmi.bit_count = static_cast<uint16_t>(bits_per_pixel_);
  info.bmi.compression = wmf::kSubtypeI420;
  info.bmi.image_size = static_cast<uint32_t>(av::I420Frame{width_, height_}.bytes());
  video.SetVideoInfo(info);
  if (Failed(video_props_->SetMediaType(video))) return Fail("Unable to Set Media Type");
  if (Failed(writer_->SetInputProps(video_input_, *video_props_)))
    return Fail("Unable to Set Video Input Properties for Media Writer");
  video_state_ = 2;
  return true;
}

// --- Writing ------------------------------------------------------------------

HResult CWMVFile::WriteAudio(double time, const uint8_t* data, uint32_t bytes) {
  const char* failure = nullptr;
  HResult hr;
  {
    std::shared_lock<std::shared_mutex> lock(state_lock_);
    hr = (this->*kAudioWriters[audio_state_])(time, data, bytes, &failure);
  }
  if (failure) {
    ShowFailure(FailureText(failure));
    Close();
  }
  return hr;
}

HResult CWMVFile::WriteVideo(double time, const uint8_t* frame) {
  const char* failure = nullptr;
  HResult hr;
  const auto bytes = static_cast<uint32_t>(av::I420Frame{width_, height_}.bytes());
  {
    std::shared_lock<std::shared_mutex> lock(state_lock_);
    hr = (this->*kVideoWriters[video_state_])(time, frame, bytes, &failure);
  }
  if (failure) {
    ShowFailure(FailureText(failure));
    Close();
  }
  return hr;
}

HResult CWMVFile::RefuseWrite(double, const uint8_t*, uint32_t, const char**) {
  return wmf::kEFail;
}

HResult CWMVFile::WriteAudioSample(double time, const uint8_t* data, uint32_t bytes,
                                   const char** failure) {
  return WriteSampleLocked(audio_input_, time, data, bytes, "Unable to Audio Write Frame",
                           failure);
}

HResult CWMVFile::WriteVideoSample(double time, const uint8_t* data, uint32_t bytes,
                                   const char** failure) {
  return WriteSampleLocked(video_input_, time, data, bytes, "Unable to Write Frame", failure);
}

HResult CWMVFile::WriteSampleLocked(uint32_t input, double time, const uint8_t* data,
                                    uint32_t bytes, const char* write_failure,
                                    const char** failure) {
  std::unique_ptr<wmf::WmSample> sample;
  HResult hr = writer_->AllocateSample(bytes, &sample);
  if (Failed(hr)) {
    *failure = "Unable to Allocate Memory";
    return hr;
  }
  uint8_t* buffer = nullptr;
  if (Failed(hr = sample->GetBuffer(&buffer))) {
    *failure = "Unable to Lock Buffer";
    return hr;
  }
  if (bytes > 0) std::memcpy(buffer, data, bytes);
  // 100-ns units, cut toward zero.
  const auto sample_time = static_cast<int64_t>((time - start_time_) * 10000000.0);
  if (Failed(hr = writer_->WriteSample(input, sample_time, 0, *sample))) {
    TracePrintf("FAILED(hr=0x%x) in m_pWriter->WriteSample()\n", hr);
    *failure = write_failure;
    write_errno_ = writer_->file_errno();
  }
  return hr;
}

std::string CWMVFile::FailureText(const char* failure) const {
  const int system_error = write_errno_.load();
  return system_error ? WriteFailureText(failure, path_, system_error) : failure;
}

void CWMVFile::ShowFailure(const std::string& text) {
  // Both threads may fail at once; the user hears of it once.
  if (failure_shown_.exchange(true)) return;
  WriteTraceLine(text);
  ShowMessageBox(text, MessageKind::kError, kButtonOk, "Error");
}

// --- Closing ------------------------------------------------------------------

HResult CWMVFile::CloseLocked() {
  HResult hr = wmf::kSOk;
  if ((video_state_ == 2 || audio_state_ == 2) && writer_ && writer_->writing())
    hr = writer_->EndWriting();
  if (writer_ && write_errno_ == 0) write_errno_ = writer_->file_errno();
  video_state_ = 0;
  audio_state_ = 0;
  audio_props_.reset();
  video_props_.reset();
  writer_.reset();
  profile_.reset();
  manager_.reset();
  return hr;
}

HResult CWMVFile::Close() {
  HResult hr;
  {
    std::unique_lock<std::shared_mutex> lock(state_lock_);
    hr = CloseLocked();
  }
  if (Failed(hr)) {
    // The end of the file could not be written: the file is incomplete.
    TracePrintf("FAILED(hr=0x%x) in m_pWriter->EndWriting()\n", hr);
    ShowFailure(FailureText("Unable to Write Frame"));
  }
  return hr;
}

// --- Inspection ---------------------------------------------------------------

int CWMVFile::audio_state() const {
  std::shared_lock<std::shared_mutex> lock(state_lock_);
  return audio_state_;
}

int CWMVFile::video_state() const {
  std::shared_lock<std::shared_mutex> lock(state_lock_);
  return video_state_;
}

std::unique_ptr<wmf::WmProfile> CWMVFile::CopyProfile() const {
  std::shared_lock<std::shared_mutex> lock(state_lock_);
  return profile_ ? std::make_unique<wmf::WmProfile>(*profile_) : nullptr;
}

bool CWMVFile::VideoAttribute(const char* name, uint32_t* value) const {
  std::shared_lock<std::shared_mutex> lock(state_lock_);
  return writer_ &&
         Succeeded(writer_->GetAttribute(static_cast<uint16_t>(video_input_ + 1), name, value));
}

}  // namespace ovc
