#pragma once

namespace ovc {

// What the capture stage tells the main window, from the streaming threads
// and with the capture lock held: every call must return at once (post a
// message, never wait for the user interface thread).
class CaptureHost {
 public:
  virtual ~CaptureHost() = default;

  // Posts WM_PROGRESS with wParam 0 and lParam 0.
  virtual void PostProgress() = 0;

  // The input picture's shape changed: its size, or for pictures with
  // non-square pixels the picture aspect pair (aspect_y is not 0).
  virtual void VideoLayoutChanged(int aspect_x, int aspect_y) = 0;

  // The playback position in seconds; false when the graph has no position
  // interface.
  virtual bool PlaybackPosition(double* seconds) = 0;

  // The recording reached its stop point: no output frame at or after it
  // was handed over. Posts WM_STOP_RECORDING. Called once per recording.
  virtual void StopPointReached() {}
};

}  // namespace ovc
