#include "engine/record/format_output_factory.h"

#include "common/message_box.h"
#include "common/trace.h"
#include "engine/record/d263_level.h"
#include "engine/record/mp4_format_plan.h"
#include "engine/record/mp4_writer.h"
#include "engine/record/wmv_output.h"

namespace ovc {
namespace {

// A 3GP file of H.263: once the writer has finished it, its `d263` box
// gets the level the stream needs in place of the muxer's fixed level 10.
class D263LevelOutput : public FileOutput {
 public:
  D263LevelOutput(std::unique_ptr<FileOutput> writer, int level)
      : writer_(std::move(writer)), level_(level) {}
  ~D263LevelOutput() override { Finish(); }

  int EncodeAudioPeriod(const int16_t* pcm, int frames, int period) override {
    return writer_->EncodeAudioPeriod(pcm, frames, period);
  }
  int EncodeVideoFrame(const uint8_t* i420, int frame) override {
    return writer_->EncodeVideoFrame(i420, frame);
  }
  int Finish() override {
    const int result = writer_->Finish();
    if (!finished_) {
      finished_ = true;
      if (WriteD263Level(writer_->path(), level_) < 0)
        TracePrintf("Could not write H.263 level %d into '%s'", level_, writer_->path().c_str());
    }
    return result;
  }
  const std::string& path() const override { return writer_->path(); }

 private:
  std::unique_ptr<FileOutput> writer_;
  const int level_;
  bool finished_ = false;
};

std::unique_ptr<FileOutput> OpenMp4Output(const OutputConfig& output, const std::string& path,
                                          bool audio_enabled) {
  std::unique_ptr<FileOutput> writer = Mp4Writer::Open(output, path, audio_enabled);
  Mp4Plan plan;
  if (!writer || PlanMp4Output(output, &plan) < 0 || plan.video.codec != AV_CODEC_ID_H263 ||
      plan.video.level <= 0)
    return writer;
  return std::make_unique<D263LevelOutput>(std::move(writer), plan.video.level);
}

}  // namespace

std::unique_ptr<FileOutput> FormatOutputFactory::Open(const OutputConfig& output,
                                                      const std::string& path,
                                                      bool audio_enabled) {
  switch (output.format) {
    case kFormatAvi:
      return AviOutput::Open(output, path, audio_enabled, prompt_);
    case kFormatWmv:
      return WmvOutput::Open(
          output,
          WmvCodecChoice{output.wm_video_codec, output.wm_audio_codec, output.wm_audio_format},
          path);
    default:
      if (output.format >= kFormatMp4) return OpenMp4Output(output, path, audio_enabled);
      TracePrintf("Output format %d is not available", output.format);
      ShowMessageBox("This output format is not available in this version.", MessageKind::kError,
                     kButtonOk, "Error");
      return nullptr;
  }
}

}  // namespace ovc
