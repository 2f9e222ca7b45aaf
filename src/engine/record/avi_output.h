#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/mutex.h"
#include "engine/record/avi_writer.h"
#include "engine/record/file_output.h"
#include "engine/record/output_config.h"
#include "platform/vfw/compression_manager.h"

namespace ovc {

class Mp3Encoder;

// Shown when the configured video compressor is not installed; the dialogs
// offer the codec download there.
class MissingCodecPrompt {
 public:
  virtual ~MissingCodecPrompt() = default;
  virtual void Show() = 0;
};

// The address the codec error message points to.
inline constexpr char kCodecDownloadUrl[] = "https://www.orvane.com/codecs/";

// Format 0: an AVI file written by AviWriter, the video compressed by an
// installed compressor in sequence mode, the audio encoded to MP3.
//
// The video thread compresses and the audio thread encodes on their own
// encoders; AviWriter serialises the chunk writes. A failed encode or write
// is reported once (message box and trace), closes the file with a valid
// index up to the last good chunk, and makes every later call return -1.
class AviOutput : public FileOutput {
 public:
  // Opens the file and both encoders as the configuration says (audio only
  // when `audio_enabled`). Every failure is reported to the user and traced;
  // none is returned and no file stays open.
  static std::unique_ptr<AviOutput> Open(const OutputConfig& output, const std::string& path,
                                         bool audio_enabled, MissingCodecPrompt* prompt);
  ~AviOutput() override;

  int EncodeAudioPeriod(const int16_t* pcm, int frames, int period) override;
  int EncodeVideoFrame(const uint8_t* i420, int frame) override;
  // Flushes the MP3 encoder into the file, ends the compression sequence,
  // closes the writer and the compressor; traces "AVI End.".
  int Finish() override;
  const std::string& path() const override { return path_; }
  bool FileFailed() const override;

 private:
  AviOutput(const OutputConfig& output, std::string path, std::unique_ptr<AviWriter> writer);

  int OpenVideoEncoder(MissingCodecPrompt* prompt);
  // Two passes: points the compressor's statistics at a file of this part
  // (the second pass's holds the range's records from where the part
  // begins) and gives the state to the compressor.
  void SetPartStatistics(std::vector<uint8_t>* state);
  // After the sequence ended: the first pass adds the part's records to the
  // range's statistics; the part's file is removed.
  void KeepPartStatistics();
  int OpenAudioEncoder();
  // Reports a failure of the running file once and closes it: `trace` to
  // the trace log, `message` (if any) to the user, with the file and the
  // reason when a write failed.
  void Fail(const char* message, const std::string& trace);
  int CloseAll();

  const OutputConfig output_;
  const std::string path_;
  const int output_channels_;  // MP3 channels: 1 when `stereo` is 3

  mutable Mutex state_lock_;
  bool failed_ OVC_GUARDED_BY(state_lock_) = false;
  bool finished_ OVC_GUARDED_BY(state_lock_) = false;

  // Thread-safe on its own.
  std::unique_ptr<AviWriter> writer_;

  // Used by the video thread only (and by Open and Finish).
  vfw::Hic compressor_ = nullptr;
  vfw::CompVars vars_;
  bool sequence_started_ = false;
  // Two passes with a compressor that keeps statistics: this part's file,
  // and the pass the compressor runs in (0 none, 1 or 2).
  std::string part_stats_path_;
  int stats_pass_ = 0;

  // Used by the audio thread only (and by Open and Finish).
  std::unique_ptr<Mp3Encoder> mp3_;
  bool mp3_failed_ = false;  // the encoder failed; the file goes on without sound
  std::vector<int16_t> left_;
  std::vector<int16_t> right_;
  std::vector<uint8_t> mp3_buffer_;
};

}  // namespace ovc
