#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/playback/capture_audio_buffer.h"
#include "engine/playback/frame_time_estimator.h"
#include "engine/playback/output_grid.h"
#include "engine/playback/still_picture.h"

namespace ovc {

// The times the user interface thread reads (and partly sets) without the
// capture lock: progress display, speed regulation.
struct CaptureTimes {
  // The frame-time estimator's `actual` and `long_term`.
  std::atomic<double> actual_frame_time{0};     // seconds per picture, for pacing
  std::atomic<double> long_term_frame_time{0};  // seconds, slowly adapting
  std::atomic<bool> first_picture_pending{false};
  std::atomic<double> recording_start_time{0};  // seconds, moved by large gaps
  std::atomic<double> last_video_time{0};       // seconds: latest recorded picture
  std::atomic<double> pass_start_position{0};   // seconds: playback position of pass 1
};

// The state the two capture callbacks share, guarded by the capture lock of
// CaptureStage.
struct CaptureState {
  // Pictures of up to this many pixels fit the first buffers (720 × 576 is
  // 414,720; more than 403,200 pixels get buffers of their own size).
  static constexpr int64_t kFirstBufferPixels = 720 * 576;
  static constexpr int64_t kLargePictureThreshold = 403200;

  // --- Video ---
  int input_width = 0;   // pixels, from the media type
  int input_height = 0;
  int input_line_pixels = 0;  // pixels per line of the delivered packed picture
  int declared_width = 0;   // size (or aspect pair) last told to the main window
  int declared_height = 0;
  bool extended_format = false;  // the type carried a VideoInfoHeader2
  // The input picture's display aspect (width ÷ height on the screen), from
  // the type's picture aspect, or its size for square pixels; 0 unknown.
  double picture_aspect = 0;

  FrameTimeEstimator frame_times;

  double previous_start_time = 0;  // seconds; 0 before the first picture
  int frame_counter = -1;          // -1 after a start of playback
  int slowdown = 0;                // pictures whose pacing wait is halved
  OutputGrid grid;                               // the output frames, from the first picture
  int picture_counter = 0;                       // recorded pictures; drives WM_PROGRESS
  bool need_resize = false;
  bool split_failed = false;  // no further output part could be opened

  // The output frame: a 4:2:0 picture of the output size in the layout of
  // av::I420Frame, with kScalerSlack bytes after it. Grows, never shrinks.
  // `buffer_pixels` is the largest picture (input or output) the capture
  // takes.
  std::vector<uint8_t> output_frame;
  int64_t buffer_pixels = 0;
  // The input picture, kept now and then for the still picture.
  KeptPicture still;
  // A copy of a packed picture whose sample keeps too little room after it
  // for the scaler, with that room added.
  std::vector<uint8_t> padded_picture;

  // --- Audio ---
  int input_bits = 16;          // bits per delivered sample (8 or 16)
  bool audio_supported = true;  // the delivered format is one the capture can take
  CaptureAudioBuffer audio;
  // 16-bit samples made from 8-bit input, or scaled by the volume.
  std::vector<int16_t> conversion;
};

}  // namespace ovc
