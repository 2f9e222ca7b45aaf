#include "engine/record/avi_output.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "common/message_box.h"
#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/channel_split.h"
#include "engine/record/output_file_errors.h"
#include "engine/record/rate_stats.h"
#include "platform/mp3/mp3_encoder.h"
#include "platform/mp3/mp3_parameter.h"
#include "platform/vfw/compressor_settings.h"
#include "platform/vfw/compressor_table.h"

namespace ovc {
namespace {

void ShowError(const std::string& text) { ShowMessageBox(text, MessageKind::kError); }

// The layout of a compressor's statistics, or false when it keeps none.
bool StatsFormatOf(const vfw::CompressorInfo* info, RateStatsFormat* format) {
  if (!info || info->stats_format == vfw::StatsFormat::kNone) return false;
  *format = info->stats_format == vfw::StatsFormat::kXvid ? RateStatsFormat::kXvid
                                                          : RateStatsFormat::kLavc;
  return true;
}

}  // namespace

AviOutput::AviOutput(const OutputConfig& output, std::string path,
                     std::unique_ptr<AviWriter> writer)
    : output_(output),
      path_(std::move(path)),
      output_channels_(output.stereo == 3 ? 1 : 2),
      writer_(std::move(writer)) {}

AviOutput::~AviOutput() { Finish(); }

std::unique_ptr<AviOutput> AviOutput::Open(const OutputConfig& output, const std::string& path,
                                           bool audio_enabled, MissingCodecPrompt* prompt) {
  bool existed = PathExists(path);
  AviOpenFailure failure;
  std::unique_ptr<AviWriter> writer = AviWriter::Open(path, &failure);
  if (!writer) {
    ReportCannotCreate(path, failure.system_error, existed);
    return nullptr;
  }
  std::unique_ptr<AviOutput> avi(new AviOutput(output, path, std::move(writer)));
  if (avi->writer_->SetVideo(output.width, output.height, output.out_frame_rate,
                             output.avi_codec.fcc_handler) < 0 ||
      avi->OpenVideoEncoder(prompt) < 0 || (audio_enabled && avi->OpenAudioEncoder() < 0)) {
    avi->CloseAll();
    return nullptr;
  }
  return avi;
}

int AviOutput::OpenVideoEncoder(MissingCodecPrompt* prompt) {
  const AviCodec& codec = output_.avi_codec;
  // The compressors read their bit rate from their own settings.
  vfw::SetCompressorBitRate(codec.fcc_handler,
                            static_cast<uint32_t>(std::max(0.0f, output_.video_bitrate)));
  vfw::BitmapInfoHeader input = vfw::I420Header(output_.width, output_.height);
  compressor_ = vfw::ICOpen(codec.fcc_type, codec.fcc_handler, vfw::kIcModeCompress);
  if (!compressor_) {
    if (prompt) prompt->Show();
    WriteTraceLine("Init video codec error.");
    return -1;
  }
  if (vfw::ICCompressQuery(compressor_, &input, nullptr) != vfw::kIcErrOk) {
    ShowError(std::string("Video codec error. Please download/re-install codec from ") +
              kCodecDownloadUrl);
    WriteTraceLine("Init video codec error.");
    return -1;
  }
  // Run the compressor with its own configured settings.
  int state_size = vfw::ICGetStateSize(compressor_);
  if (state_size > 0) {
    std::vector<uint8_t> state(static_cast<size_t>(state_size));
    if (vfw::ICGetState(compressor_, state.data(), state_size) > 0) {
      SetPartStatistics(&state);
      vfw::ICSetState(compressor_, state.data(), static_cast<int>(state.size()));
    }
  }

  vars_ = vfw::CompVars{};
  vars_.hic = compressor_;
  vars_.type = codec.fcc_type;
  vars_.handler = codec.fcc_handler;
  vars_.key_frame_rate = 15;
  vars_.quality = -1;
  vars_.data_rate = 0;

  // The rate is given in thousandths so that 29.97 and 14.985 fps keep the
  // compressor's bit budget per frame exact.
  vfw::CompressFrames info;
  info.quality = -1;
  info.data_rate = 0;
  info.key_rate = 15;
  info.rate = static_cast<uint32_t>(std::lround(output_.out_frame_rate * 1000));
  info.scale = 1000;
  vfw::ICCompressFramesInfo(compressor_, info);

  if (!vfw::ICSeqCompressFrameStart(&vars_, input)) {
    ShowError("ICSeqCompressFrameStart failed. Check AVI codec settings.");
    WriteTraceLine("Init video codec error.");
    return -1;
  }
  sequence_started_ = true;
  return 0;
}

void AviOutput::SetPartStatistics(std::vector<uint8_t>* state) {
  const vfw::CompressorInfo* info = vfw::FindCompressor(output_.avi_codec.fcc_handler);
  RateStatsFormat format;
  if (output_.n_pass != 2 || output_.rate_stats_path.empty() || !StatsFormatOf(info, &format))
    return;
  std::optional<vfw::CompressorSettings> settings = vfw::ParseSettings(
      info->handler,
      std::string_view(reinterpret_cast<const char*>(state->data()), state->size()));
  if (!settings || settings->pass_mode == vfw::PassMode::kOnePass) return;
  // Each part of each pass has its own file: the passes cut the output at
  // different pictures (the first writes no sound), so a part's records
  // are the range's from where the part begins.
  part_stats_path_ = output_.rate_stats_path + ".part";
  settings->stats_file = part_stats_path_;
  stats_pass_ = settings->pass_mode == vfw::PassMode::kFirstPass ? 1 : 2;
  if (stats_pass_ == 2) {
    const std::string text = ReadRangeStats(output_.rate_stats_path, format,
                                            output_.part_first_frame);
    if (text.empty() || WriteRateStatsFile(part_stats_path_, text) < 0) {
      TracePrintf("No first-pass statistics from picture %lld; this part runs one pass",
                  static_cast<long long>(output_.part_first_frame));
      settings->pass_mode = vfw::PassMode::kOnePass;
    }
  }
  const std::string blob = vfw::SerializeSettings(info->handler, *settings);
  state->assign(blob.begin(), blob.end());
}

void AviOutput::KeepPartStatistics() {
  if (part_stats_path_.empty()) return;
  RateStatsFormat format;
  std::string text;
  if (stats_pass_ == 1 && StatsFormatOf(vfw::FindCompressor(output_.avi_codec.fcc_handler), &format) &&
      ReadRegularFile(part_stats_path_, &text, /*follow_links=*/false))
    AppendRangeStats(output_.rate_stats_path, format, text, output_.part_first_frame);
  std::remove(part_stats_path_.c_str());
  part_stats_path_.clear();
}

int AviOutput::OpenAudioEncoder() {
  if (!Mp3Library::Default().loaded()) {
    WriteTraceLine("Lame error");
    ShowError("lame not loaded");
    return -1;
  }
  mp3_ = Mp3Encoder::Create();
  if (!mp3_) {
    WriteTraceLine("Lame error");
    ShowError("Lame error");
    return -1;
  }
  mp3_->InstallErrorCallback();
  const int settings[][2] = {
      {kMp3BitRate, output_.audio_bitrate},
      {kMp3Quality, 3},
      {kMp3OutputSampleRate, output_.audio_output_freq},
      {kMp3ChannelMode, output_.stereo},
      {kMp3InputChannels, output_channels_},
      {kMp3InputSampleRate, output_.input_sample_rate},
      {kMp3InputGainPercent, 98},
      {kMp3Copyright, 0},
      {kMp3ErrorProtection, 0},
      {kMp3PrivateBit, 0},
      {kMp3Emphasis, 0},
      {kMp3LowpassFrequency, output_.mp3_setting_17},
      {kMp3LowpassWidth, -1},
      {kMp3HighpassFrequency, output_.mp3_setting_19},
      {kMp3HighpassWidth, -1},
      {kMp3VbrMode, 0},
      {kMp3VbrQuality, 0},
      {kMp3VbrMinBitRate, 0},
      {kMp3VbrMaxBitRate, 0},
      {kMp3FrameSizeLimit, 2},
      {kMp3DisableReservoir, 0},
      {kMp3Original, 1},
      {kMp3TracksInSequence, 1},
      {kMp3TrackIndex, 0},
      {kMp3WriteInfoFrame, 0},
  };
  for (const auto& setting : settings) mp3_->SetParameter(setting[0], setting[1]);
  if (mp3_->InitParameters() < 0) {
    WriteTraceLine("Lame error");
    ShowError("Lame error");
    return -1;
  }
  if (writer_->SetAudio(output_channels_, output_.audio_output_freq, 0, AviWriter::kFormatMp3,
                        mp3_->bit_rate_kbps()) < 0)
    return -1;
  return 0;
}

void AviOutput::Fail(const char* message, const std::string& trace) {
  {
    MutexLock lock(&state_lock_);
    if (failed_ || finished_) return;
    failed_ = true;
  }
  WriteTraceLine(trace);
  const int system_error = writer_->system_error();
  if (message) ShowError(system_error ? WriteFailureText(message, path_, system_error) : message);
  // The writer closes with a valid index up to the last good chunk; the
  // other thread's later writes then fail quietly.
  writer_->Close();
}

bool AviOutput::FileFailed() const {
  MutexLock lock(&state_lock_);
  return failed_;
}

int AviOutput::EncodeVideoFrame(const uint8_t* i420, int /*frame*/) {
  {
    MutexLock lock(&state_lock_);
    if (failed_ || finished_) return -1;
  }
  bool key = false;
  int32_t size = 0;
  const void* data = vfw::ICSeqCompressFrame(&vars_, 0, i420, &key, &size);
  if (!data) {
    Fail("ICSeqCompressFrame failed.", "ICSeqCompressFrame failed.");
    return -1;
  }
  if (writer_->WriteVideo(data, static_cast<uint32_t>(size), key) < 0) {
    Fail("AVI Video Write error", "AVI Video Write error");
    return -1;
  }
  return 0;
}

int AviOutput::EncodeAudioPeriod(const int16_t* pcm, int frames, int /*period*/) {
  {
    MutexLock lock(&state_lock_);
    if (failed_ || finished_) return -1;
  }
  if (mp3_failed_) return -1;
  if (!mp3_ || frames <= 0) return 0;
  size_t n = static_cast<size_t>(frames);
  if (left_.size() < n) {
    left_.resize(n);
    right_.resize(n);
  }
  int channels = output_.input_channels;
  ChannelSplit(pcm, frames, channels, output_channels_, output_.left_right_channel, left_.data(),
               right_.data());
  // A period at a low frame rate can hold more than the classic 16 KiB of MP3.
  size_t room = static_cast<size_t>(Mp3MaxEncodedBytes(frames, output_.input_sample_rate));
  if (mp3_buffer_.size() < room) mp3_buffer_.resize(room);
  int bytes = channels == 1
                  ? mp3_->EncodeMono(left_.data(), frames, mp3_buffer_.data(),
                                     static_cast<int>(mp3_buffer_.size()))
                  : mp3_->EncodeStereo(left_.data(), right_.data(), frames, mp3_buffer_.data(),
                                       static_cast<int>(mp3_buffer_.size()));
  if (bytes < 0) {
    // The sound ends here; the pictures go on.
    WriteTraceLine("Lame error");
    mp3_failed_ = true;
    return -1;
  }
  if (bytes > 0 && writer_->WriteAudio(mp3_buffer_.data(), static_cast<uint32_t>(bytes)) < 0) {
    char trace[64];
    std::snprintf(trace, sizeof trace, "AVI Audio Write error %d", bytes);
    // The file can take nothing more; the user hears of it once, from
    // whichever stream met it first.
    Fail("AVI Audio Write error", trace);
    return -1;
  }
  return 0;
}

int AviOutput::CloseAll() {
  int result = 0;
  if (sequence_started_) {
    vfw::ICSeqCompressFrameEnd(&vars_);
    sequence_started_ = false;
  }
  KeepPartStatistics();
  if (writer_ && writer_->Close() < 0) result = -1;
  if (compressor_) {
    vfw::ICClose(compressor_);
    compressor_ = nullptr;
  }
  mp3_.reset();
  return result;
}

int AviOutput::Finish() {
  bool failed;
  {
    MutexLock lock(&state_lock_);
    if (finished_) return 0;
    finished_ = true;
    failed = failed_;
  }
  if (!failed && mp3_ && !mp3_failed_) {
    // The encoder still holds the end of the audio; it belongs in the file.
    std::vector<uint8_t> tail(kMp3FlushBytes);
    int bytes = mp3_->Flush(tail.data(), static_cast<int>(tail.size()));
    if (bytes > 0) writer_->WriteAudio(tail.data(), static_cast<uint32_t>(bytes));
  }
  int result = CloseAll();
  WriteTraceLine("AVI End.");
  return failed ? -1 : result;
}

}  // namespace ovc
