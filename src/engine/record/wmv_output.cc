#include "engine/record/wmv_output.h"

namespace ovc {

WmvOutput::WmvOutput(const OutputConfig& output, std::string path, std::unique_ptr<CWMVFile> file)
    : frame_rate_(output.out_frame_rate),
      channels_(output.input_channels),
      path_(std::move(path)),
      file_(std::move(file)) {}

WmvOutput::~WmvOutput() { file_->Close(); }

std::unique_ptr<WmvOutput> WmvOutput::Open(const OutputConfig& output,
                                           const WmvCodecChoice& codecs,
                                           const std::string& path) {
  auto file = std::make_unique<CWMVFile>(output, codecs, path, output.width, output.height,
                                         output.input_sample_rate, output.input_channels);
  if (file->status() != 0) return nullptr;
  return std::unique_ptr<WmvOutput>(new WmvOutput(output, path, std::move(file)));
}

int WmvOutput::EncodeAudioPeriod(const int16_t* pcm, int frames, int period) {
  if (frames <= 0) return 0;
  const double time = (period - 1) / frame_rate_;
  const auto bytes = static_cast<uint32_t>(frames) * static_cast<uint32_t>(channels_) * 2;
  return wmf::Failed(file_->WriteAudio(time, reinterpret_cast<const uint8_t*>(pcm), bytes)) ? -1
                                                                                             : 0;
}

int WmvOutput::EncodeVideoFrame(const uint8_t* i420, int frame) {
  const double time = (frame - 1) / frame_rate_;
  return wmf::Failed(file_->WriteVideo(time, i420)) ? -1 : 0;
}

int WmvOutput::Finish() {
  wmf::HResult hr = file_->Close();
  return wmf::Failed(hr) || file_->failed() ? -1 : 0;
}

}  // namespace ovc
