#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>

#include "engine/record/output_config.h"
#include "platform/wmf/wm_profile.h"
#include "platform/wmf/wm_writer.h"

namespace ovc {

// The Windows Media codec choices of a recording: the profile's "vcodec",
// "acodec" and "aformat" as the main window keeps them.
struct WmvCodecChoice {
  std::string video_codec = "Windows Media Video 8";
  std::string audio_codec = "Windows Media Audio 9.2";
  std::string audio_format = "64 kbps, 44 kHz, stereo CBR";
};

// The message shown when BeginWriting fails with `hr`.
const char* BeginWritingFailureText(wmf::HResult hr);

// The pixel aspect ratio that shows a width × height frame at the display
// aspect aspect_x : aspect_y, reduced: with g = gcd(height × aspect_x,
// width × aspect_y), x = height × aspect_x ÷ g and y = width × aspect_y ÷ g.
// False (nothing to set) when a term is not positive.
bool AspectRatioAttributes(int width, int height, int aspect_x, int aspect_y, uint32_t* x,
                           uint32_t* y);

// Writes a Windows Media file: one audio stream (stream 1) from the chosen
// WMA format and one video stream (stream 2) from the chosen video codec, fed
// with PCM at the input rate and channels and with packed YUY2 frames.
//
// Construction builds the profile and the writer and begins writing;
// status() then is 0, or -1 after the failure was shown ("Error" message
// box) and traced and everything was closed.
//
//   closed (0) --construction: writer prepared--> prepared (1)
//   prepared --input types set--> writing (2)      (per input: audio, video)
//   any --failure or Close--> closed (0)
//
// Writes are dispatched on their input's state: closed refuses with
// E_FAIL and reports nothing, prepared and writing write. A failed write is
// reported once and closes the file, so later writes fail quietly.
//
// The audio and the video thread write at the same time; the writer
// serialises what they share. Close waits for writes in progress.
class CWMVFile {
 public:
  CWMVFile(const OutputConfig& output, const WmvCodecChoice& codecs, const std::string& path,
           int width, int height, int sampling_rate, int channels);
  ~CWMVFile();
  CWMVFile(const CWMVFile&) = delete;
  CWMVFile& operator=(const CWMVFile&) = delete;

  int status() const { return status_; }
  const std::string& error_text() const { return error_text_; }

  // `bytes` of interleaved signed 16-bit PCM, whole sample frames, starting
  // at `time` seconds.
  wmf::HResult WriteAudio(double time, const uint8_t* data, uint32_t bytes);
  // One 4:2:0 frame of width × height (av::I420Frame) at `time` seconds.
  wmf::HResult WriteVideo(double time, const uint8_t* frame);

  // Ends writing (index and trailer) and releases everything. Returns the
  // writer's failure to finish the file, which is traced and, unless a
  // failure was shown already, shown as a failed write.
  wmf::HResult Close();

  // Whether a failure of this file was shown to the user.
  bool failed() const { return failure_shown_.load(); }

  // Inspection for tests.
  int audio_state() const;
  int video_state() const;
  std::unique_ptr<wmf::WmProfile> CopyProfile() const;
  uint32_t audio_input() const { return audio_input_; }
  uint32_t video_input() const { return video_input_; }
  // The writer's value of a video stream attribute; false when not set.
  bool VideoAttribute(const char* name, uint32_t* value) const;

 private:
  using WriteOperation = wmf::HResult (CWMVFile::*)(double time, const uint8_t* data,
                                                    uint32_t bytes, const char** failure);

  // Construction steps; each failure stores its message in error_text_
  // (or keeps the first one) and returns false.
  bool Open(const OutputConfig& output, const WmvCodecChoice& codecs, const std::string& path);
  bool BuildProfile(const OutputConfig& output, const WmvCodecChoice& codecs);
  bool FindInputs();
  bool AdjustVideoStream(const OutputConfig& output);
  void SetAspectAttributes(const OutputConfig& output);
  bool SetInputTypes();
  bool Fail(const char* text);

  wmf::HResult RefuseWrite(double time, const uint8_t* data, uint32_t bytes,
                           const char** failure);
  wmf::HResult WriteAudioSample(double time, const uint8_t* data, uint32_t bytes,
                                const char** failure);
  wmf::HResult WriteVideoSample(double time, const uint8_t* data, uint32_t bytes,
                                const char** failure);
  // Allocates, fills and writes one sample of `input`.
  wmf::HResult WriteSampleLocked(uint32_t input, double time, const uint8_t* data,
                                 uint32_t bytes, const char* write_failure,
                                 const char** failure);
  // A write failure's message: with the file and the reason when the file
  // could not be written.
  std::string FailureText(const char* failure) const;
  // Shows a failure once (trace and "Error" message box).
  void ShowFailure(const std::string& text);
  // Close with state_lock_ held; returns EndWriting's result.
  wmf::HResult CloseLocked();

  // The write operation for each state.
  static constexpr WriteOperation kAudioWriters[3] = {
      &CWMVFile::RefuseWrite, &CWMVFile::WriteAudioSample, &CWMVFile::WriteAudioSample};
  static constexpr WriteOperation kVideoWriters[3] = {
      &CWMVFile::RefuseWrite, &CWMVFile::WriteVideoSample, &CWMVFile::WriteVideoSample};

  // Writes share it; construction and Close hold it exclusively.
  mutable std::shared_mutex state_lock_;
  // Guarded by state_lock_.
  std::unique_ptr<wmf::WmProfile> profile_;
  std::unique_ptr<wmf::WmWriter> writer_;
  std::unique_ptr<wmf::WmInputMediaProps> video_props_;
  std::unique_ptr<wmf::WmInputMediaProps> audio_props_;
  std::unique_ptr<wmf::WmProfileManager> manager_;
  int video_state_ = 0;
  int audio_state_ = 0;

  std::string error_text_;
  uint32_t video_input_ = UINT32_MAX;  // none
  uint32_t audio_input_ = UINT32_MAX;
  double start_time_ = 0;              // seconds taken off every sample time
  int width_ = 0;
  int height_ = 0;
  int bits_per_pixel_ = 12;  // I420
  int sampling_rate_ = 0;
  int channels_ = 0;
  int bits_per_sample_ = 16;
  int status_ = -1;
  std::atomic<bool> failure_shown_{false};
  std::string path_;
  // errno of the failed file write, 0 while none failed.
  std::atomic<int> write_errno_{0};
};

}  // namespace ovc
