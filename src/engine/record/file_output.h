#pragma once

#include <memory>
#include <string>

#include "engine/record/output_config.h"
#include "engine/record/output_sink.h"

namespace ovc {

// One open output file with its encoders: the writer of a format.
class FileOutput : public OutputSink {
 public:
  // Flushes the encoders, writes the trailer or index and closes the file.
  // Returns 0 or -1; the file is closed in either case.
  virtual int Finish() = 0;
  // The path being written.
  virtual const std::string& path() const = 0;
};

// Opens the writer of the configured format for one output file. On failure
// the opener has told the user (message box) and traced why, leaves no file
// open, and returns none.
class OutputFactory {
 public:
  virtual ~OutputFactory() = default;
  virtual std::unique_ptr<FileOutput> Open(const OutputConfig& output, const std::string& path,
                                           bool audio_enabled) = 0;
};

}  // namespace ovc
