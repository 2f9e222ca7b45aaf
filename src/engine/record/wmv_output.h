#pragma once

#include <memory>
#include <string>

#include "engine/record/file_output.h"
#include "engine/record/output_config.h"
#include "engine/record/wmv_file.h"

namespace ovc {

// Format 1: a Windows Media file written by CWMVFile. The raw interleaved
// PCM of each period and each 4:2:0 frame go to the file with the time of
// their number: (number − 1) ÷ out_frame_rate seconds.
class WmvOutput : public FileOutput {
 public:
  // Opens the file for the output size and the input audio format with the
  // chosen codecs. A failure has been shown and traced; none is returned.
  static std::unique_ptr<WmvOutput> Open(const OutputConfig& output, const WmvCodecChoice& codecs,
                                         const std::string& path);
  ~WmvOutput() override;

  int EncodeAudioPeriod(const int16_t* pcm, int frames, int period) override;
  int EncodeVideoFrame(const uint8_t* i420, int frame) override;
  // Closes the file; -1 when a failure of this file was shown.
  int Finish() override;
  const std::string& path() const override { return path_; }
  bool FileFailed() const override { return file_->failed(); }

 private:
  WmvOutput(const OutputConfig& output, std::string path, std::unique_ptr<CWMVFile> file);

  const double frame_rate_;  // frames per second
  const int channels_;       // input channels
  const std::string path_;
  std::unique_ptr<CWMVFile> file_;
};

}  // namespace ovc
