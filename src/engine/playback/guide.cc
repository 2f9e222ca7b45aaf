#include "engine/playback/guide.h"

#include <unistd.h>

#include <cstdio>
#include <exception>

#include "common/paths.h"
#include "common/trace.h"
#include "common/translate.h"

namespace ovc {

GuideLook GuideLookFor(int state, int hours, int minutes, int seconds) {
  GuideLook look;
  if (state == kGuideReady) {
    char text[128];
    std::snprintf(text, sizeof text, TranslateMessage("Ready to record this title [%d:%02d:%02d]"),
                  hours, minutes, seconds);
    look.text = text;
    look.window_colour = false;
    look.banner_colour = kGuideReadyColour;
  } else if (state == kGuideRecording) {
    look.text = TranslateMessage("Recording ... ");
    look.window_colour = false;
    look.banner_colour = kGuideRecordingColour;
    look.animate = true;
  } else {
    look.text = TranslateMessage("Video Panel");
  }
  return look;
}

void Guide::ShowGuide(int state) {
  state_ = state;
  // Translations and banner pictures are found relative to the program folder.
  if (chdir(ProgramFolder().c_str()) != 0) {
    // Not fatal: the texts fall back to their own wording.
  }
  try {
    const GuideLook look = GuideLookFor(state, hours_, minutes_, seconds_);
    view_->ShowLabel(look.text, GuideLabelLeft(view_->PanelWidth(), view_->LabelWidth(look.text)),
                     kGuideTextColour);
    if (look.window_colour) view_->SetBannerWindowColour();
    else view_->SetBannerColour(look.banner_colour);
    if (look.animate) Animate();
  } catch (const std::exception&) {
    TracePrintf("Exception in Guide %d", state);
  }
}

void Guide::Animate() {
  if (animating_) {
    WriteTraceLine("re-enter");
    return;
  }
  animating_ = true;
  // The banner is restored after each animation, whether it played or not.
  struct Restore {
    GuideView* view;
    ~Restore() { view->RestoreBanner(); }
  };
  struct Done {
    bool* flag;
    ~Done() { *flag = false; }
  } done{&animating_};
  {
    Restore restore{view_};
    view_->SetBannerWindowColour();
    view_->PlayBannerAnimation(1);
  }
  Restore restore{view_};
  view_->FreezeBanner();
  view_->SetBannerColour(kGuideRecordingFrozenColour);
  view_->PlayBannerAnimation(2);
}

}  // namespace ovc
