#pragma once

#include "engine/record/avi_output.h"
#include "engine/record/file_output.h"

namespace ovc {

// Opens the writer that the configured `format` calls for.
class FormatOutputFactory : public OutputFactory {
 public:
  // `prompt` is shown when the AVI video compressor is not installed; may be null.
  explicit FormatOutputFactory(MissingCodecPrompt* prompt) : prompt_(prompt) {}

  std::unique_ptr<FileOutput> Open(const OutputConfig& output, const std::string& path,
                                   bool audio_enabled) override;

 private:
  MissingCodecPrompt* prompt_;
};

}  // namespace ovc
