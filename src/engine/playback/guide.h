#pragma once

#include <cstdint>
#include <string>

namespace ovc {

// Guide states: where the source stands relative to the conversion.
inline constexpr int kGuideReady = 4;
inline constexpr int kGuideRecording = 5;
inline constexpr int kGuideFinished = 6;

// Colours as 0x00BBGGRR values.
inline constexpr uint32_t kGuideReadyColour = 60285;          // light green
inline constexpr uint32_t kGuideRecordingColour = 16742263;   // light blue
inline constexpr uint32_t kGuideRecordingFrozenColour = 16747660;
inline constexpr uint32_t kGuideTextColour = 0;               // black

// What the guide shows for a state.
struct GuideLook {
  std::string text;           // translated
  bool window_colour = true;  // the banner takes the system window colour…
  uint32_t banner_colour = 0; // …or this one
  bool animate = false;       // the recording animation
};

// `hours`, `minutes`, `seconds`: the source's length.
GuideLook GuideLookFor(int state, int hours, int minutes, int seconds);

// The guide label's left edge, centred over the video panel.
inline int GuideLabelLeft(int panel_width, int label_width) {
  return (panel_width - label_width) / 2 - 10;
}

// The window that shows the guide.
class GuideView {
 public:
  virtual ~GuideView() = default;
  virtual int PanelWidth() = 0;
  // The width the label takes with `text`.
  virtual int LabelWidth(const std::string& text) = 0;
  virtual void ShowLabel(const std::string& text, int left, uint32_t font_colour) = 0;
  virtual void SetBannerWindowColour() = 0;
  virtual void SetBannerColour(uint32_t colour) = 0;
  // Plays the banner's first or second animation (1 or 2); may pump
  // messages and so show the guide again meanwhile. May throw.
  virtual void PlayBannerAnimation(int which) = 0;
  // Stops the banner from repainting until restored.
  virtual void FreezeBanner() = 0;
  virtual void RestoreBanner() = 0;
};

// The guide text over the video, its colours and the recording animation.
// User interface thread only.
class Guide {
 public:
  explicit Guide(GuideView* view) : view_(view) {}

  void set_source_length(int hours, int minutes, int seconds) {
    hours_ = hours;
    minutes_ = minutes;
    seconds_ = seconds;
  }
  // Shows the guide for `state`. A failure is traced and otherwise ignored.
  void ShowGuide(int state);
  int state() const { return state_; }

 private:
  void Animate();

  GuideView* view_;
  int state_ = 0;
  int hours_ = 0, minutes_ = 0, seconds_ = 0;
  bool animating_ = false;
};

}  // namespace ovc
