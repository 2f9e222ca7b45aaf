#include "engine/record/format_output_factory.h"

#include "common/message_box.h"
#include "common/trace.h"
#include "engine/record/mp4_writer.h"
#include "engine/record/wmv_output.h"

namespace ovc {

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
      if (output.format >= kFormatMp4) return Mp4Writer::Open(output, path, audio_enabled);
      TracePrintf("Output format %d is not available", output.format);
      ShowMessageBox("This output format is not available in this version.", MessageKind::kError,
                     kButtonOk, "Error");
      return nullptr;
  }
}

}  // namespace ovc
