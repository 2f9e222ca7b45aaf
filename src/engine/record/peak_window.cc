#include "engine/record/peak_window.h"

#include <algorithm>
#include <cmath>

namespace ovc {

int PeakWindow::FramesPerWindow(double fps) {
  return fps > 0 ? std::max(1, static_cast<int>(std::ceil(fps - 1e-6))) : 1;
}

int64_t PeakWindow::Expected(bool key_frame) const {
  const int64_t* last = key_frame ? last_key_ : last_other_;
  return std::max(last[0], last[1]);
}

bool PeakWindow::Admits(bool key_frame) const {
  // An empty window takes any picture, so a stream never stalls.
  if (peak_bits_ <= 0 || window_bits_ == 0) return true;
  return window_bits_ + Expected(key_frame) <= peak_bits_;
}

void PeakWindow::Add(int64_t bits, bool key_frame) {
  if (bits > 0) {
    int64_t* last = key_frame ? last_key_ : last_other_;
    last[1] = last[0];
    last[0] = bits;
  }
  window_.push_back(bits);
  window_bits_ += bits;
  while (static_cast<int>(window_.size()) > frames_ - 1) {
    window_bits_ -= window_.front();
    window_.pop_front();
  }
}

void PeakMeter::Add(double seconds, int64_t bits) {
  // Packets a whole second before this one (to within rounding of the
  // time base) are in no window that holds it.
  while (!window_.empty() && window_.front().first <= seconds - 1 + 1e-6) {
    window_bits_ -= window_.front().second;
    window_.pop_front();
  }
  window_.emplace_back(seconds, bits);
  window_bits_ += bits;
  peak_ = std::max(peak_, window_bits_);
}

}  // namespace ovc
