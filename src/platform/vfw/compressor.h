#pragma once

#include <memory>
#include <string>

#include "platform/vfw/compression_manager.h"
#include "platform/vfw/compressor_settings.h"
#include "platform/vfw/compressor_table.h"
#include "platform/vfw/sequence_encoder.h"
#include "platform/vfw/two_pass_stats.h"

namespace ovc::vfw {

// One open compressor: its settings, the frame information of the next
// sequence and the running sequence. The compression manager's calls
// forward to it.
class Compressor {
 public:
  // Reads the settings from the compressor's registry key.
  explicit Compressor(const CompressorInfo& info);
  ~Compressor();
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  const CompressorInfo& info() const { return info_; }
  const CompressorSettings& settings() const { return settings_; }

  int Query(const BitmapInfoHeader* in, const BitmapInfoHeader* out) const;
  int StateSize() const;
  int GetState(void* buffer, int size) const;
  int SetState(const void* state, int size);
  int SetFramesInfo(const CompressFrames& info);

  bool StartSequence(CompVars* vars, const BitmapInfoHeader& in);
  const void* CompressFrame(CompVars* vars, uint32_t flags, const void* bits, bool* key,
                            int32_t* size);
  void EndSequence();

 private:
  // The values a sequence runs with, fixed at its start.
  struct Sequence {
    EncoderSetup setup;              // without the statistics text
    std::unique_ptr<SequenceEncoder> encoder;
    std::unique_ptr<StatsWriter> stats_writer;  // first pass
    int stats_frames = 0;            // second pass: frames the first pass recorded
    bool past_stats = false;         // second pass ran out of statistics
  };

  // Replaces a second pass's encoder by a one-pass one when the first pass
  // recorded fewer frames than this pass compresses.
  bool ContinueInOnePass();

  const CompressorInfo& info_;
  CompressorSettings settings_;
  CompressFrames frames_info_;
  std::unique_ptr<Sequence> sequence_;
};

}  // namespace ovc::vfw
