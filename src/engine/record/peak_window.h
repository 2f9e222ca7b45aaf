#pragma once

#include <cstdint>
#include <deque>
#include <utility>

namespace ovc {

// Keeps a stream of pictures under a peak rate over any one second where
// the encoder's own rate control can't (it has reached its coarsest
// quantiser): before each picture it tells whether a picture of its kind
// still fits in the window of the last second, judged by the larger of the
// last two pictures of that kind; one that would not fit is left out (the
// picture before it stands longer; a key frame that is due waits for the
// next picture). A window that holds only left-out pictures takes any. A window holds `frames_per_window` pictures: the most
// whose times lie within one second (30 at 29.97 fps, 15 at 15 or 14.985).
class PeakWindow {
 public:
  PeakWindow(int64_t peak_bits, int frames_per_window)
      : peak_bits_(peak_bits), frames_(frames_per_window) {}

  // Whether the next picture (a key frame or not) may be coded.
  bool Admits(bool key_frame) const;
  // Records the next picture of the stream: `bits` coded, or 0 for one
  // left out.
  void Add(int64_t bits, bool key_frame);

  // The pictures a window holds at `fps` frames per second.
  static int FramesPerWindow(double fps);

 private:
  int64_t Expected(bool key_frame) const;

  const int64_t peak_bits_;
  const int frames_;
  std::deque<int64_t> window_;  // the last frames_ - 1 pictures, bits
  int64_t window_bits_ = 0;
  int64_t last_key_[2] = {0, 0};    // the last two key frames, bits
  int64_t last_other_[2] = {0, 0};  // the last two other pictures, bits
};

// The most bits a stream carries in any one second, as a reader measures
// it: every window [t, t + 1 s) that starts at a packet's decoding time.
// Packets come in decoding order.
class PeakMeter {
 public:
  void Add(double seconds, int64_t bits);
  int64_t peak_bits() const { return peak_; }

 private:
  std::deque<std::pair<double, int64_t>> window_;  // seconds, bits
  int64_t window_bits_ = 0;
  int64_t peak_ = 0;
};

}  // namespace ovc
