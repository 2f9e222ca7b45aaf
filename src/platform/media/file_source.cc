#include "platform/media/file_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/media/upright_picture.h"

namespace ovc::media {
namespace {

constexpr AVRational kReferenceTimeBase{1, static_cast<int>(kUnitsPerSecond)};

int AbortRequested(void* flag) {
  return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

// Whether `path` names a regular file. Asked of the name, without opening
// it: opening a pipe for reading blocks until another program writes to it.
bool IsRegularFile(const std::string& path, struct stat* info) {
  return stat(path.c_str(), info) == 0 && S_ISREG(info->st_mode);
}

// Opens and, unless `probe` is false for a format whose header lists its
// streams, probes `path`; `abort` (may be null) ends every wait inside
// libavformat once set.
FormatContextPtr OpenContext(const std::string& path, const std::atomic<bool>* abort = nullptr,
                             bool probe = true) {
  // Always the file protocol: a file name such as "pipe:1" or "concat:a|b"
  // must not be taken for another source.
  const std::string url = "file:" + path;
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) return nullptr;
  if (abort) {
    raw->interrupt_callback.callback = AbortRequested;
    raw->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(abort);
  }
  // Frees the context when it fails.
  if (avformat_open_input(&raw, url.c_str(), nullptr, nullptr) < 0) return nullptr;
  FormatContextPtr context(raw);
  if (!probe && (context->ctx_flags & AVFMTCTX_NOHEADER) == 0) return context;
  if (avformat_find_stream_info(context.get(), nullptr) < 0) return nullptr;
  return context;
}

int FirstStream(const AVFormatContext& context, AVMediaType type) {
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    const AVStream* stream = context.streams[i];
    if (stream->codecpar->codec_type != type) continue;
    // A cover picture is not the video.
    if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
    return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

std::string UndecodableReason(const StreamInfo& info) {
  const AVCodecID id = info.parameters ? info.parameters->codec_id : AV_CODEC_ID_NONE;
  if (id == AV_CODEC_ID_NONE) return "its format is unknown";
  const std::string name = avcodec_get_name(id);
  if (!avcodec_find_decoder(id)) return "there is no decoder for its format (" + name + ")";
  return "its " + name + " decoder does not accept it";
}

ReferenceTime ToReferenceTime(int64_t timestamp, AVRational time_base) {
  return av_rescale_q(timestamp, time_base, kReferenceTimeBase);
}

int64_t FromReferenceTime(ReferenceTime time, AVRational time_base) {
  return av_rescale_q(time, kReferenceTimeBase, time_base);
}

std::unique_ptr<StreamReader> StreamReader::Open(const std::string& path, int stream_index) {
  struct stat info;
  if (!IsRegularFile(path, &info)) return nullptr;
  // The source was probed when it was opened; a reader only takes the
  // packets of one stream, so where the header lists the streams it needs
  // no probe of its own (some 20 ms a reader: libavformat decodes the first
  // pictures to learn what the header already says).
  FormatContextPtr context = OpenContext(path, nullptr, /*probe=*/false);
  if (!context || stream_index < 0 ||
      static_cast<unsigned>(stream_index) >= context->nb_streams) {
    return nullptr;
  }
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    context->streams[i]->discard =
        static_cast<int>(i) == stream_index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  return std::unique_ptr<StreamReader>(new StreamReader(std::move(context), stream_index));
}

bool StreamReader::Seek(ReferenceTime media_time, ReferenceTime origin) {
  const AVStream* stream = context_->streams[stream_index_];
  // Back to the start of an MPEG program or transport stream by its bytes:
  // its time stamps may be missing or jump, and a search by time can land
  // on the second key frame, losing the pictures before it.
  const AVInputFormat* format = context_->iformat;
  if (media_time <= 0 && (format->flags & AVFMT_TS_DISCONT) != 0 &&
      std::strcmp(format->name, "ogg") != 0 &&
      av_seek_frame(context_.get(), -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD) >= 0) {
    return true;
  }
  // Rounded down: a key frame just after the target would skip the picture
  // showing at it.
  const int64_t target = av_rescale_q_rnd(media_time + origin, kReferenceTimeBase,
                                          stream->time_base, AV_ROUND_DOWN);
  if (avformat_seek_file(context_.get(), stream_index_, INT64_MIN, target, target, 0) >= 0) {
    return true;
  }
  if (av_seek_frame(context_.get(), stream_index_, target, AVSEEK_FLAG_BACKWARD) >= 0) return true;
  // Cannot seek: start over from the beginning; the decoder drops what lies
  // before the target.
  av_seek_frame(context_.get(), stream_index_, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
  return false;
}

int StreamReader::Read(AVPacket* packet) {
  for (;;) {
    const int result = av_read_frame(context_.get(), packet);
    if (result < 0) return result;
    if (packet->stream_index == stream_index_) return 0;
    av_packet_unref(packet);
  }
}

std::shared_ptr<FileSource> FileSource::Open(const std::string& path, MediaResult* result,
                                             const std::atomic<bool>* abort) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    *result = kErrorFileNotFound;
    return nullptr;
  }
  if (!IsRegularFile(path, &info)) {
    *result = kErrorNotAFile;
    return nullptr;
  }
  FormatContextPtr context = OpenContext(path, abort);
  if (!context) {
    *result = abort && abort->load() ? kErrorAbort : kErrorUnknownFileType;
    return nullptr;
  }
  std::shared_ptr<FileSource> source(new FileSource(path));
  const int video = FirstStream(*context, AVMEDIA_TYPE_VIDEO);
  const int audio = FirstStream(*context, AVMEDIA_TYPE_AUDIO);
  if (video < 0 && audio < 0) {
    *result = kErrorUnknownFileType;
    return nullptr;
  }
  auto describe = [&context](int index) {
    AVStream* stream = context->streams[index];
    StreamInfo info;
    info.index = index;
    info.parameters = stream->codecpar;
    info.time_base = stream->time_base;
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      info.frame_rate = av_guess_frame_rate(context.get(), stream, nullptr);
      info.sample_aspect = av_guess_sample_aspect_ratio(context.get(), stream, nullptr);
      info.rotation = StreamRotation(*stream);
    }
    return info;
  };
  if (video >= 0) {
    source->video_ = describe(video);
    source->video_pin_ = source->AddPin("Video", PinDirection::kOutput);
  }
  if (audio >= 0) {
    source->audio_ = describe(audio);
    source->audio_pin_ = source->AddPin("Audio", PinDirection::kOutput);
  }
  if (context->start_time != AV_NOPTS_VALUE) {
    source->origin_ = ToReferenceTime(context->start_time, AV_TIME_BASE_Q);
  }
  if (context->duration > 0) {
    source->duration_ = ToReferenceTime(context->duration, AV_TIME_BASE_Q);
  } else {
    for (int index : {video, audio}) {
      if (index < 0) continue;
      const AVStream* stream = context->streams[index];
      if (stream->duration <= 0) continue;
      source->duration_ =
          std::max(source->duration_, ToReferenceTime(stream->duration, stream->time_base));
    }
  }
  source->context_ = std::move(context);
  *result = kOk;
  return source;
}

const StreamInfo& FileSource::Info(const Pin& pin) const {
  return &pin == video_pin_ ? video_ : audio_;
}

std::unique_ptr<StreamReader> FileSource::OpenReader(const Pin& pin) const {
  return StreamReader::Open(path_, Info(pin).index);
}

bool FileSource::ProposeType(const Pin& output, MediaType* type) const {
  if (&output != video_pin_ && &output != audio_pin_) return false;
  // The compressed stream: only its major type is stated.
  *type = MediaType();
  type->major = &output == video_pin_ ? MajorType::kVideo : MajorType::kAudio;
  return true;
}

}  // namespace ovc::media
