#include "platform/wmf/wm_writer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "platform/wmf/wm_wide_text.h"

namespace ovc::wmf {
namespace {

// Space held back in the file for what the muxer holds when writing must
// stop, and for its index: a first amount and some for each packet.
constexpr int64_t kReserveBytes = 256 * 1024;
constexpr int64_t kReservePerPacket = 32;

// The largest sample AllocateSample hands out: a 4096 × 4096 YUY2 frame
// and then some.
constexpr uint32_t kMaxSampleBytes = 64u << 20;

// The folder part of a path ("." when there is none).
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

MediaType DefaultInputType(const WmStreamConfig& stream) {
  const MediaType& out = stream.GetMediaType();
  if (stream.GetStreamType() == MajorType::kAudio) {
    const WaveFormatEx* wave = out.wave_format();
    return PcmMediaType(wave ? wave->channels : 2,
                        wave ? static_cast<int>(wave->samples_per_sec) : 44100);
  }
  const VideoInfoHeader* info = out.video_info();
  if (!info) return Yuy2MediaType(320, 240, 10000000 / 30);
  return Yuy2MediaType(info->bmi.width, std::abs(info->bmi.height), info->avg_time_per_frame);
}

}  // namespace

// --- WmInputMediaProps and WmSample -----------------------------------------

HResult WmInputMediaProps::SetMediaType(const MediaType& media_type) {
  if (media_type.major_type != type_) return kEInvalidArg;
  media_type_ = media_type;
  return kSOk;
}

HResult WmSample::GetBuffer(uint8_t** data) {
  if (!data) return kEPointer;
  *data = bytes_.data();
  return kSOk;
}

HResult WmSample::SetLength(uint32_t length) {
  if (length > bytes_.size()) return kEInvalidArg;
  length_ = length;
  return kSOk;
}

// --- WmWriter: set-up ---------------------------------------------------------

WmWriter::WmWriter() : codecs_(InstalledCodecs()) {}

WmWriter::~WmWriter() {
  WriterLock lock(&state_lock_);
  if (writing_) EndWritingLocked();
}

bool WmWriter::writing() const {
  ReaderLock lock(&state_lock_);
  return writing_;
}

HResult WmWriter::SetProfile(const WmProfile& profile) {
  WriterLock lock(&state_lock_);
  if (writing_) return kEUnexpected;
  profile_ = std::make_unique<WmProfile>(profile);
  inputs_.clear();
  attributes_.clear();
  const std::vector<WmStreamConfig>& streams = profile_->streams();
  for (size_t i = 0; i < streams.size(); ++i) {
    auto input = std::make_unique<Input>();
    input->type = DefaultInputType(streams[i]);
    input->connection_name = streams[i].GetConnectionName();
    input->stream = i;
    inputs_.push_back(std::move(input));
  }
  return kSOk;
}

HResult WmWriter::GetInputCount(uint32_t* count) const {
  if (!count) return kEPointer;
  ReaderLock lock(&state_lock_);
  if (!profile_) return kNsENotConfigured;
  *count = static_cast<uint32_t>(inputs_.size());
  return kSOk;
}

HResult WmWriter::GetInputProps(uint32_t input, std::unique_ptr<WmInputMediaProps>* props) const {
  if (!props) return kEPointer;
  ReaderLock lock(&state_lock_);
  if (input >= inputs_.size()) return kEInvalidArg;
  const Input& in = *inputs_[input];
  *props = std::make_unique<WmInputMediaProps>(in.type.major_type, in.type, in.connection_name);
  return kSOk;
}

HResult WmWriter::SetInputProps(uint32_t input, const WmInputMediaProps& props) {
  WriterLock lock(&state_lock_);
  if (writing_) return kEUnexpected;
  if (input >= inputs_.size()) return kEInvalidArg;
  Input& in = *inputs_[input];
  const MediaType& type = props.GetMediaType();
  if (props.GetType() != in.type.major_type || type.major_type != in.type.major_type)
    return kNsEInvalidInputFormat;
  bool valid =
      type.major_type == MajorType::kAudio ? IsValidPcmInput(type) : IsValidVideoInput(type);
  if (!valid) return kNsEInvalidInputFormat;
  in.type = type;
  return kSOk;
}

HResult WmWriter::SetOutputFilename(std::wstring_view name) {
  std::string path;
  if (name.empty() || !WideToUtf8(name, &path)) return kEInvalidArg;
  struct stat info;
  if (stat(FolderOf(path).c_str(), &info) != 0) return HResultFromErrno(errno);
  if (!S_ISDIR(info.st_mode)) return kEPathNotFound;
  WriterLock lock(&state_lock_);
  if (writing_) return kEUnexpected;
  output_path_ = std::move(path);
  return kSOk;
}

HResult WmWriter::SetAttribute(uint16_t stream_number, std::string_view name, uint32_t value) {
  WriterLock lock(&state_lock_);
  if (writing_) return kEUnexpected;
  if (!profile_) return kNsENotConfigured;
  std::unique_ptr<WmStreamConfig> stream;
  if (Failed(profile_->GetStreamByNumber(stream_number, &stream))) return kEInvalidArg;
  if ((name != kAspectRatioX && name != kAspectRatioY) ||
      stream->GetStreamType() != MajorType::kVideo)
    return kEInvalidArg;
  attributes_[{stream_number, std::string(name)}] = value;
  return kSOk;
}

HResult WmWriter::GetAttribute(uint16_t stream_number, std::string_view name,
                               uint32_t* value) const {
  if (!value) return kEPointer;
  ReaderLock lock(&state_lock_);
  auto found = attributes_.find({stream_number, std::string(name)});
  if (found == attributes_.end()) return kEInvalidArg;
  *value = found->second;
  return kSOk;
}

AVRational WmWriter::PixelAspectLocked(uint16_t stream_number) const {
  auto x = attributes_.find({stream_number, kAspectRatioX});
  auto y = attributes_.find({stream_number, kAspectRatioY});
  AVRational aspect{0, 1};
  if (x == attributes_.end() || y == attributes_.end() || x->second == 0 || y->second == 0)
    return aspect;
  av_reduce(&aspect.num, &aspect.den, x->second, y->second, INT32_MAX);
  return aspect;
}

// --- WmWriter: writing --------------------------------------------------------

HResult WmWriter::OpenEncodersLocked() {
  const std::vector<WmStreamConfig>& streams = profile_->streams();
  const bool global_header = (av_guess_format("asf", nullptr, nullptr)->flags &
                              AVFMT_GLOBALHEADER) != 0;
  for (auto& input : inputs_) {
    MutexLock lock(&input->lock);
    const WmStreamConfig& stream = streams[input->stream];
    MajorType type = stream.GetStreamType();
    const Codec* codec = FindCodecBySubtype(*codecs_, type, stream.GetMediaType().subtype);
    HResult hr;
    if (type == MajorType::kAudio) {
      hr = codec ? CreateAudioStreamEncoder(*codec, stream, input->type, global_header,
                                            &input->encoder)
                 : kNsEAudioCodecNotInstalled;
    } else {
      hr = codec ? CreateVideoStreamEncoder(*codec, stream, input->type,
                                            PixelAspectLocked(stream.GetStreamNumber()),
                                            global_header, &input->encoder)
                 : kNsEVideoCodecNotInstalled;
    }
    if (Failed(hr)) return hr;
  }
  return kSOk;
}

HResult WmWriter::OpenFileLocked() {
  // The file's streams in the order of their stream numbers, so that the
  // numbers in the file are the profile's.
  std::vector<Input*> order;
  for (auto& input : inputs_) order.push_back(input.get());
  const std::vector<WmStreamConfig>& streams = profile_->streams();
  std::stable_sort(order.begin(), order.end(), [&](const Input* a, const Input* b) {
    return streams[a->stream].GetStreamNumber() < streams[b->stream].GetStreamNumber();
  });
  // Each input's encoder, taken under its own lock before the muxer's: a
  // writer takes its input's lock first and the muxer's inside it.
  std::vector<const AVCodecContext*> encoders;
  for (Input* input : order) {
    MutexLock lock(&input->lock);
    encoders.push_back(input->encoder->context());
  }

  MutexLock mux(&mux_lock_);
  AVFormatContext* context = nullptr;
  if (avformat_alloc_output_context2(&context, nullptr, "asf", output_path_.c_str()) < 0 ||
      !context)
    return kEOutOfMemory;
  muxer_.reset(context);
  for (size_t i = 0; i < order.size(); ++i) {
    Input* input = order[i];
    AVStream* stream = avformat_new_stream(context, nullptr);
    if (!stream) return kEOutOfMemory;
    const AVCodecContext* encoder = encoders[i];
    if (avcodec_parameters_from_context(stream->codecpar, encoder) < 0) return kEOutOfMemory;
    stream->time_base = encoder->time_base;
    stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
    input->av_stream = stream->index;
  }

  file_ = av::ReservedFileIo::Open(output_path_);
  if (!file_) return HResultFromErrno(errno);
  file_->set_reserve(kReserveBytes);
  context->pb = file_->context();
  int ret = avformat_write_header(context, nullptr);
  if (ret < 0) return HResultFromAvError(ret, kNsEInvalidOutputFormat);
  // The header must reach the disk now, so that a file that can't be
  // written fails here rather than with the first samples.
  avio_flush(context->pb);
  if (context->pb->error < 0) return HResultFromAvError(context->pb->error, kEWriteFault);
  return kSOk;
}

HResult WmWriter::BeginWriting() {
  WriterLock lock(&state_lock_);
  if (writing_) return kEUnexpected;
  if (!profile_ || output_path_.empty()) return kNsENotConfigured;
  if (inputs_.empty()) return kNsEInvalidOutputFormat;
  // The encoders first: a missing or unwilling codec leaves no file behind.
  HResult hr = OpenEncodersLocked();
  if (Succeeded(hr)) hr = OpenFileLocked();
  if (Failed(hr)) {
    {
      MutexLock mux(&mux_lock_);
      muxer_.reset();
      file_.reset();
    }
    for (auto& input : inputs_) {
      MutexLock in(&input->lock);
      input->encoder.reset();
    }
    return hr;
  }
  {
    MutexLock mux(&mux_lock_);
    file_error_ = kSOk;
    packets_written_ = 0;
    file_errno_ = 0;
  }
  writing_ = true;
  return kSOk;
}

HResult WmWriter::AllocateSample(uint32_t size, std::unique_ptr<WmSample>* sample) const {
  if (!sample) return kEPointer;
  if (size > kMaxSampleBytes) return kEOutOfMemory;
  try {
    *sample = std::make_unique<WmSample>(std::vector<uint8_t>(size));
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  }
  return kSOk;
}

HResult WmWriter::MuxPacket(int av_stream, AVRational time_base, AVPacket* packet) {
  MutexLock lock(&mux_lock_);
  if (Failed(file_error_)) return file_error_;
  AVStream* stream = muxer_->streams[av_stream];
  packet->stream_index = av_stream;
  av_packet_rescale_ts(packet, time_base, stream->time_base);
  int ret = av_interleaved_write_frame(muxer_.get(), packet);
  if (ret < 0) {
    file_error_ = HResultFromAvError(ret, kEWriteFault);
    if (ret > -4096) file_errno_ = -ret;
    return file_error_;
  }
  file_->set_reserve(kReserveBytes + kReservePerPacket * ++packets_written_);
  if (const int out_of_room = file_->out_of_room()) {
    // This packet is in; the space held back takes the rest and the
    // index, which EndWriting writes. Later samples fail as after a failed
    // write.
    file_error_ = HResultFromErrno(out_of_room);
    file_errno_ = out_of_room;
  }
  return file_error_;
}

HResult WmWriter::WriteSample(uint32_t input, int64_t sample_time, uint32_t flags,
                              const WmSample& sample) {
  ReaderLock state(&state_lock_);
  if (!writing_) return kEUnexpected;
  if (input >= inputs_.size()) return kEInvalidArg;
  {
    MutexLock lock(&mux_lock_);
    if (Failed(file_error_)) return file_error_;
  }
  Input& in = *inputs_[input];
  MutexLock lock(&in.lock);
  const int av_stream = in.av_stream;
  const AVRational time_base = in.encoder->context()->time_base;
  return in.encoder->Encode(sample.data(), sample.GetLength(), sample_time, flags,
                            [&](AVPacket* packet) { return MuxPacket(av_stream, time_base, packet); });
}

HResult WmWriter::EndWritingLocked() {
  HResult result = kSOk;
  for (auto& input : inputs_) {
    MutexLock lock(&input->lock);
    const int av_stream = input->av_stream;
    const AVRational time_base = input->encoder->context()->time_base;
    HResult hr = input->encoder->Flush(
        [&](AVPacket* packet) { return MuxPacket(av_stream, time_base, packet); });
    if (Succeeded(result) && Failed(hr)) result = hr;
  }
  {
    MutexLock lock(&mux_lock_);
    int ret = av_write_trailer(muxer_.get());
    if (ret < 0 && Succeeded(file_error_)) file_error_ = HResultFromAvError(ret, kEWriteFault);
    muxer_->pb = nullptr;
    ret = file_->Close();
    file_.reset();
    if (ret < 0 && Succeeded(file_error_)) file_error_ = HResultFromAvError(ret, kEWriteFault);
    if (Failed(file_error_)) result = file_error_;
    muxer_.reset();
  }
  for (auto& input : inputs_) {
    MutexLock lock(&input->lock);
    input->encoder.reset();
  }
  writing_ = false;
  return result;
}

int WmWriter::file_errno() const {
  MutexLock lock(&mux_lock_);
  return file_errno_;
}

HResult WmWriter::EndWriting() {
  WriterLock lock(&state_lock_);
  if (!writing_) return kEUnexpected;
  return EndWritingLocked();
}

HResult WMCreateWriter(std::unique_ptr<WmWriter>* writer) {
  if (!writer) return kEPointer;
  *writer = std::make_unique<WmWriter>();
  return kSOk;
}

}  // namespace ovc::wmf
