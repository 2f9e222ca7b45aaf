#include "engine/record/mp4_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/message_box.h"
#include "common/trace.h"
#include "engine/record/amr_nb_encoder.h"
#include "engine/record/channel_split.h"
#include "engine/record/output_file_errors.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace ovc {
namespace {

constexpr char kWriteFailedText[] =
    "Could not write the output file. The disk may be full, or the file or its folder is no "
    "longer there.";

// Space held back in the file for what the muxer still holds when writing
// must stop, and for the index: a first amount, and enough per packet
// written for its index entries (an MP4's sample tables take up to about
// 24 bytes a sample, an AVI's idx1 16).
constexpr int64_t kReserveBytes = 256 * 1024;
constexpr int64_t kReservePerPacket = 32;

// The most a Matroska cluster holds, bytes: well inside the 0.1 MB a part
// is cut before its split size.
constexpr int64_t kClusterBytes = 64 * 1024;
// Room for input sample frames the FIFO starts with; it grows when needed.
constexpr int kFifoBytes = 262144;
// The text metadata take at most this many bytes each.
constexpr size_t kMetadataBytes = 511;

void ShowError(const std::string& text) {
  ShowMessageBox(text, MessageKind::kError, kButtonOk, "Error");
}

// Cuts UTF-8 text to at most `bytes` bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void SetMetadata(AVFormatContext* format, const OutputConfig& output) {
  av_dict_set(&format->metadata, "title", CutUtf8(output.title, kMetadataBytes).c_str(), 0);
  av_dict_set(&format->metadata, "author", "", 0);
  av_dict_set(&format->metadata, "copyright", " ", 0);
  av_dict_set(&format->metadata, "comment", "N/A", 0);
}

// Matroska (WebM) players take a track's codec delay (Opus's pre-skip)
// off each of its time stamps, so the first packet belongs that far past 0.
// libavformat up to 59.30.100 writes the delay but leaves the packets
// where the encoder puts them, before 0, and then moves every stream later
// to start at 0: the picture would lag the sound by the pre-skip. With
// such a muxer the packets are written that much later here instead; later
// ones do it themselves.
bool MovesStreamsPastCodecDelay(const AVFormatContext* format, const AVCodecParameters* audio) {
  const char* name = format->oformat->name;
  const bool matroska = std::strcmp(name, "webm") == 0 || std::strcmp(name, "matroska") == 0;
  return matroska && audio->codec_id == AV_CODEC_ID_OPUS && audio->initial_padding > 0 &&
         avformat_version() <= AV_VERSION_INT(59, 30, 100);
}

}  // namespace

Mp4Writer::Mp4Writer(const OutputConfig& output, std::string path)
    : output_(output), path_(std::move(path)) {}

Mp4Writer::~Mp4Writer() { Finish(); }

std::unique_ptr<Mp4Writer> Mp4Writer::Open(const OutputConfig& output, const std::string& path,
                                           bool audio_enabled) {
  Mp4Plan plan;
  if (PlanMp4Output(output, &plan) < 0) {
    WriteTraceLine("Could not find suitable output format");
    ShowError("Could not find suitable output format");
    return nullptr;
  }
  // The first of two passes writes pictures only, and the PSP form of the
  // muxer refuses a file without sound. That file only carries the pass
  // (the second pass writes it anew), so it takes the plain form; the
  // encoders keep the PSP settings the plan chose.
  if (!audio_enabled && plan.muxer == "psp") plan.muxer = "mp4";
  if (output.n_pass == 2 && !output.rate_stats_path.empty()) {
    plan.video.pass = output.pass;
    plan.video.stats_path = output.rate_stats_path;
    plan.video.first_frame = output.part_first_frame;
  }
  std::unique_ptr<Mp4Writer> writer(new Mp4Writer(output, path));
  writer->finished_ = true;  // nothing to finish until the file is open
  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, nullptr, plan.muxer.c_str(), path.c_str()) < 0 ||
      !format) {
    WriteTraceLine("Memory error");
    ShowError("Memory error");
    return nullptr;
  }
  writer->format_.reset(format);
  SetMetadata(format, output);
  // The muxer moves the index to the front when it finishes the file,
  // reading the file back by its name.
  if (plan.fast_start && av_opt_set(format->priv_data, "movflags", "+faststart", 0) < 0) {
    WriteTraceLine("the container can't put its index first");
    ShowError("Invalid output format parameters");
    return nullptr;
  }
  // Matroska keeps a cluster in memory until it holds 5 MB or 5 s; the
  // split size is judged by what is in the file, so its clusters are kept
  // smaller than the margin the split leaves.
  if (std::strcmp(format->oformat->name, "webm") == 0 ||
      std::strcmp(format->oformat->name, "matroska") == 0)
    av_opt_set_int(format->priv_data, "cluster_size_limit", kClusterBytes, 0);
  if (plan.mux_rate > 0 && av_opt_set_int(format->priv_data, "muxrate", plan.mux_rate, 0) < 0) {
    WriteTraceLine("the container takes no mux rate");
    ShowError("Invalid output format parameters");
    return nullptr;
  }

  if (writer->OpenEncoders(plan, audio_enabled) < 0 || writer->AddStreams() < 0 ||
      writer->OpenFile() < 0)
    return nullptr;
  writer->finished_ = false;
  return writer;
}

int Mp4Writer::OpenEncoders(const Mp4Plan& plan, bool audio_enabled) {
  std::string reason;
  if (plan.video.codec != AV_CODEC_ID_NONE) {
    video_ = Mp4VideoEncoder::Open(plan.video, &reason);
    if (!video_) {
      const bool named = !plan.video.encoder.empty();
      const char* name = named ? plan.video.encoder.c_str() : avcodec_get_name(plan.video.codec);
      const bool found = named ? avcodec_find_encoder_by_name(name) != nullptr
                               : avcodec_find_encoder(plan.video.codec) != nullptr;
      WriteTraceLine(found ? "could not open video codec\n" : "video codec not found\n");
      ShowError("Could not open the video codec \"" + std::string(name) + "\": " + reason + ".");
      return -1;
    }
  }
  if (!audio_enabled || plan.audio.codec == AV_CODEC_ID_NONE) return 0;

  TracePrintf("output.audio_output_freq=%d", output_.audio_output_freq);
  const Mp4AudioSettings& settings = plan.audio;
  if (settings.codec == AV_CODEC_ID_AMR_NB)
    audio_ =
        AmrNbEncoder::Open(settings.sample_rate, settings.channels, output_.audio_bitrate, &reason);
  else
    audio_ = OpenLavcAudioEncoder(settings, &reason);
  if (!audio_) {
    const char* name = avcodec_get_name(settings.codec);
    const bool found =
        settings.codec == AV_CODEC_ID_AMR_NB || avcodec_find_encoder(settings.codec) != nullptr;
    WriteTraceLine(found ? "could not open audio codec\n" : "audio codec not found\n");
    ShowError("Could not open the audio codec \"" + std::string(name) + "\": " + reason + ".");
    return -1;
  }

  // A right channel of its own when both the source and the output have one;
  // a mono source is copied to both sides after conversion.
  const bool stereo_source = output_.input_channels >= 2;
  // The sound is converted to the rate the encoder codes (Opus: always
  // 48 kHz, whatever the setting).
  const int rate = audio_->sample_rate();
  if (left_resampler_.Initialise(output_.input_sample_rate, rate) < 0 ||
      (audio_->channels() == 2 && stereo_source &&
       right_resampler_.Initialise(output_.input_sample_rate, rate) < 0)) {
    char text[160];
    std::snprintf(text, sizeof text, "Could not convert the audio from %d Hz to %d Hz.",
                  output_.input_sample_rate, rate);
    WriteTraceLine(text);
    ShowError(text);
    return -1;
  }
  fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, audio_->channels(),
                                  kFifoBytes / (2 * audio_->channels())));
  if (!fifo_) {
    WriteTraceLine("Memory error");
    ShowError("Memory error");
    return -1;
  }
  return 0;
}

int Mp4Writer::AddStreams() {
  AVFormatContext* format = format_.get();
  if (video_) {
    video_stream_ = avformat_new_stream(format, nullptr);
    if (!video_stream_ || video_->FillStream(video_stream_) < 0) {
      WriteTraceLine("Could not alloc video stream\n");
      ShowError("Memory error");
      return -1;
    }
    video_stream_->id = 0;
    video_stream_->time_base = video_->time_base();
    video_stream_->avg_frame_rate = video_->frame_rate();
  }
  if (audio_) {
    audio_stream_ = avformat_new_stream(format, nullptr);
    if (!audio_stream_ || audio_->FillParameters(audio_stream_->codecpar) < 0) {
      WriteTraceLine("Could not alloc audio stream\n");
      ShowError("Memory error");
      return -1;
    }
    audio_stream_->id = 1;
    audio_stream_->time_base = AVRational{1, audio_->sample_rate()};
    // AVI can't start a stream before 0: its muxer would move every stream
    // later by the encoder delay, which the video can only take as a whole
    // frame (an empty one). Its packets start at 0 instead, and a player
    // plays the delay; so that the sound still plays at its own time, as
    // much of its start is left out.
    if (std::strcmp(format->oformat->name, "avi") == 0) {
      audio_time_offset_ = audio_->initial_padding();
      sound_to_skip_ = audio_->initial_padding();
    }
    if (MovesStreamsPastCodecDelay(format, audio_stream_->codecpar))
      audio_time_offset_ = audio_->initial_padding();
  }
  return 0;
}

int Mp4Writer::OpenFile() {
  AVFormatContext* format = format_.get();
  if (!(format->oformat->flags & AVFMT_NOFILE)) {
    const bool existed = PathExists(path_);
    io_ = av::ReservedFileIo::Open(path_);
    if (!io_) {
      ReportCannotCreate(path_, errno, existed);
      return -1;
    }
    io_->set_reserve(kReserveBytes);
    format->pb = io_->context();
  }
  int result = avformat_write_header(format, nullptr);
  if (result >= 0 && io_) {
    // The header must reach the file now: a disk already full fails here.
    avio_flush(io_->context());
    if (io_->context()->error < 0) result = io_->context()->error;
  }
  if (result < 0) {
    TracePrintf("avformat_write_header: %s", Mp4ErrorText(result).c_str());
    // A disk already full is no fault of the parameters.
    int system_error = 0;
    ShowError(IsFileWriteError(result, &system_error)
                  ? WriteFailureText(kWriteFailedWhat, path_, system_error)
                  : "Invalid output format parameters");
    // The file holds nothing of use; don't leave it behind.
    format->pb = nullptr;
    io_.reset();
    unlink(path_.c_str());
    return -1;
  }
  header_written_ = true;
  return 0;
}

void Mp4Writer::ReportFailure(const std::string& trace, int av_error) {
  failed_ = true;
  WriteTraceLine(trace);
  if (reported_.exchange(true)) return;
  int system_error = 0;
  if (IsFileWriteError(av_error, &system_error)) {
    write_failed_ = true;
    ShowError(WriteFailureText(kWriteFailedWhat, path_, system_error));
  } else {
    ShowError(kWriteFailedText);
  }
}

int Mp4Writer::WritePacket(AVPacket* packet, AVStream* stream, AVRational encoder_time_base,
                           const char* trace) {
  packet->stream_index = stream->index;
  av_packet_rescale_ts(packet, encoder_time_base, stream->time_base);
  int result;
  int out_of_room = 0;
  {
    MutexLock lock(&write_lock_);
    result = failed_ ? AVERROR(EIO) : av_interleaved_write_frame(format_.get(), packet);
    if (result >= 0 && io_) {
      ++packets_written_;
      io_->set_reserve(kReserveBytes + kReservePerPacket * packets_written_);
      out_of_room = io_->out_of_room();
    }
  }
  if (result < 0 && !failed_) {
    char text[160];
    std::snprintf(text, sizeof text, trace, result);
    ReportFailure(std::string(text) + " (" + Mp4ErrorText(result) + ")", result);
  }
  if (out_of_room != 0 && !failed_) {
    // This packet is in; the space held back takes what the muxer still
    // holds and the index, so the file ends here, playable.
    ReportFailure("The output file has no room for more: " + Mp4ErrorText(AVERROR(out_of_room)),
                  AVERROR(out_of_room));
  }
  return result;
}

bool Mp4Writer::PlaysWithoutTrailer() const {
  // MPEG program streams are read from front to back; nothing at the end
  // points into them.
  const char* name = format_ && format_->oformat ? format_->oformat->name : "";
  return std::strcmp(name, "mpeg") == 0 || std::strcmp(name, "vob") == 0 ||
         std::strcmp(name, "dvd") == 0 || std::strcmp(name, "svcd") == 0 ||
         std::strcmp(name, "vcd") == 0;
}

void Mp4Writer::DeclarePeakRate() {
  const char* name = format_->oformat->name;
  const bool mp4_family = std::strcmp(name, "mp4") == 0 || std::strcmp(name, "psp") == 0 ||
                          std::strcmp(name, "ipod") == 0 || std::strcmp(name, "mov") == 0 ||
                          std::strcmp(name, "3gp") == 0;
  if (!video_stream_ || !mp4_family || video_peak_.peak_bits() == 0) return;
  size_t size = 0;
  auto* props = reinterpret_cast<AVCPBProperties*>(
      av_stream_get_side_data(video_stream_, AV_PKT_DATA_CPB_PROPERTIES, &size));
  if (!props) {
    props = av_cpb_properties_alloc(&size);
    if (!props) return;
    if (av_stream_add_side_data(video_stream_, AV_PKT_DATA_CPB_PROPERTIES,
                                reinterpret_cast<uint8_t*>(props), size) < 0) {
      av_free(props);
      return;
    }
  }
  props->max_bitrate = video_peak_.peak_bits();
}

int Mp4Writer::WriteVideoPacket(AVPacket* packet) {
  const int64_t time = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
  if (time != AV_NOPTS_VALUE)
    video_peak_.Add(static_cast<double>(time) * av_q2d(video_->time_base()),
                    int64_t{8} * packet->size);
  return WritePacket(packet, video_stream_, video_->time_base(), "error writing video %d");
}

int Mp4Writer::WriteAudioPacket(AVPacket* packet) {
  if (packet->pts != AV_NOPTS_VALUE) packet->pts += audio_time_offset_;
  if (packet->dts != AV_NOPTS_VALUE) packet->dts += audio_time_offset_;
  return WritePacket(packet, audio_stream_, AVRational{1, audio_->sample_rate()},
                     "Error while writing audio frame. hr=%d");
}

int Mp4Writer::EncodeVideoFrame(const uint8_t* i420, int /*frame*/) {
  if (failed_) return -1;
  if (!video_) return 0;
  int result = video_->Encode(i420, [this](AVPacket* packet) { return WriteVideoPacket(packet); });
  if (result < 0) {
    if (!failed_) ReportFailure("error encoding video: " + Mp4ErrorText(result));
    return -1;
  }
  return 0;
}

int Mp4Writer::EncodeAudioPeriod(const int16_t* pcm, int frames, int /*period*/) {
  if (failed_) return -1;
  if (!audio_) return 0;
  if (frames <= 0) return 0;
  input_samples_ += frames;
  if (QueueAudio(pcm, frames, INT64_MAX) < 0 || EncodeQueuedAudio(false) < 0) return -1;
  return 0;
}

int Mp4Writer::QueueAudio(const int16_t* pcm, int frames, int64_t limit) {
  const int channels = audio_->channels();
  const size_t n = static_cast<size_t>(frames);
  if (left_.size() < n) {
    left_.resize(n);
    right_.resize(n);
  }
  ChannelSplit(pcm, frames, output_.input_channels, channels, output_.left_right_channel,
               left_.data(), right_.data());

  const size_t room = static_cast<size_t>(left_resampler_.MaxProduced(frames));
  if (left_out_.size() < room) {
    left_out_.resize(room);
    right_out_.resize(room);
  }
  int produced = 0;
  if (left_resampler_.Convert(left_.data(), frames, left_out_.data(), &produced) < 0) {
    ReportFailure("audio sample-rate conversion failed");
    return -1;
  }
  if (channels == 2) {
    if (right_resampler_.initialised()) {
      int right_produced = 0;
      if (right_resampler_.Convert(right_.data(), frames, right_out_.data(), &right_produced) < 0) {
        ReportFailure("audio sample-rate conversion failed");
        return -1;
      }
      produced = std::min(produced, right_produced);
    } else {
      // A mono source plays on both sides.
      std::copy(left_out_.begin(), left_out_.begin() + produced, right_out_.begin());
    }
  }

  produced =
      static_cast<int>(std::min<int64_t>(produced, std::max<int64_t>(0, limit - queued_samples_)));
  const int skip = static_cast<int>(std::min<int64_t>(produced, sound_to_skip_));
  sound_to_skip_ -= skip;
  const int kept = produced - skip;
  const int16_t* planes[2] = {left_out_.data() + skip, right_out_.data() + skip};
  interleaved_.resize(static_cast<size_t>(kept) * channels);
  for (int i = 0; i < kept; ++i)
    for (int c = 0; c < channels; ++c)
      interleaved_[static_cast<size_t>(i) * channels + c] = planes[c][i];
  void* data[1] = {interleaved_.data()};
  if (kept > 0 && av_audio_fifo_write(fifo_.get(), data, kept) < kept) {
    ReportFailure("Memory error");
    return -1;
  }
  queued_samples_ += produced;
  return 0;
}

int Mp4Writer::EncodeQueuedAudio(bool last) {
  const int frame_size = audio_->frame_size();
  const int channels = audio_->channels();
  frame_pcm_.resize(static_cast<size_t>(frame_size) * channels);
  auto write = [this](AVPacket* packet) { return WriteAudioPacket(packet); };
  for (;;) {
    const int available = av_audio_fifo_size(fifo_.get());
    if (available <= 0 || (available < frame_size && !last)) return 0;
    const int take = std::min(available, frame_size);
    void* data[1] = {frame_pcm_.data()};
    av_audio_fifo_read(fifo_.get(), data, take);
    int samples = take;
    if (take < frame_size && !audio_->takes_short_last_frame()) {
      // The last partial frame, padded with silence.
      std::fill(frame_pcm_.begin() + static_cast<size_t>(take) * channels, frame_pcm_.end(), 0);
      samples = frame_size;
    }
    int result = audio_->Encode(frame_pcm_.data(), samples, audio_pts_, write);
    audio_pts_ += samples;
    if (result < 0) {
      if (!failed_) ReportFailure("error encoding audio: " + Mp4ErrorText(result));
      return -1;
    }
  }
}

int Mp4Writer::DrainResamplers() {
  if (!left_resampler_.initialised() || input_samples_ == 0) return 0;
  // The converted length of everything received. The resamplers hold back
  // a look-ahead of input samples, which silence after the end pushes out;
  // what the silence itself converts to is not queued.
  const int64_t wanted =
      input_samples_ * audio_->sample_rate() / std::max(1, output_.input_sample_rate);
  const int kSilence = 2 * ZntvResampler::kHistory;
  std::vector<int16_t> silence(static_cast<size_t>(kSilence) * output_.input_channels, 0);
  for (int round = 0; round < 16 && queued_samples_ < wanted; ++round)
    if (QueueAudio(silence.data(), kSilence, wanted) < 0) return -1;
  return 0;
}

int Mp4Writer::DrainEncoders() {
  int result = 0;
  if (audio_ && !failed_) {
    if (DrainResamplers() < 0 || EncodeQueuedAudio(true) < 0) result = -1;
    if (!failed_) {
      int flushed = audio_->Flush([this](AVPacket* packet) { return WriteAudioPacket(packet); });
      if (flushed < 0) {
        if (!failed_) ReportFailure("error encoding audio: " + Mp4ErrorText(flushed));
        result = -1;
      }
    }
  }
  if (video_ && !failed_) {
    int flushed = video_->Flush([this](AVPacket* packet) { return WriteVideoPacket(packet); });
    if (flushed < 0) {
      if (!failed_) ReportFailure("error encoding video: " + Mp4ErrorText(flushed));
      result = -1;
    }
  }
  return result;
}

int Mp4Writer::Finish() {
  if (finished_) return 0;
  finished_ = true;
  WriteTraceLine("MP4_End...");
  DrainEncoders();
  left_resampler_.Free();
  right_resampler_.Free();
  bool complete = true;
  if (header_written_) {
    DeclarePeakRate();
    // Also after a failed write: the trailer makes what was written
    // playable when the file still takes it.
    int result = av_write_trailer(format_.get());
    if (result < 0) complete = false;
    if (result < 0 && !failed_) ReportFailure("av_write_trailer: " + Mp4ErrorText(result), result);
  }
  if (io_) {
    const int closed = io_->Close();
    if (closed < 0) complete = false;
    if (closed < 0 && !failed_) ReportFailure("closing the file: " + Mp4ErrorText(closed), closed);
    format_->pb = nullptr;
    io_.reset();
  }
  // A file the writes stopped reaching keeps no trailer; where the
  // container needs one to be read (the index of MP4, 3GP, QuickTime and
  // AVI), what is left can't be played and only takes room on a disk that
  // has none.
  if (write_failed_ && !complete && !PlaysWithoutTrailer()) {
    TracePrintf("%s removed: it could not be finished", path_.c_str());
    unlink(path_.c_str());
  }
  video_.reset();
  audio_.reset();
  fifo_.reset();
  format_.reset();
  return failed_ ? -1 : 0;
}

}  // namespace ovc
