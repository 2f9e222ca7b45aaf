#include "ui/main/position_bar.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "ui/main/progress_status.h"

namespace ovc {
namespace {

// The thumbs sit 9 pixels in from either end of the bar.
constexpr int kThumbInset = 9;

int ClampToInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

}  // namespace

PositionBar::PositionBar(PositionBarView* view, PositionBarHost* host)
    : view_(view), host_(host) {}

// --- The bar's events ---

void PositionBar::PositionRangeBarMouseDown() {
  dragging_ = true;
  pause_requested_ = true;
}

void PositionBar::PositionRangeBarMouseUp() {
  dragging_ = false;
  // A press that moved nothing requested no pause either; left set, it would
  // freeze the time display until the next drag.
  pause_requested_ = false;
  if (seek_pending_) {
    HandleLowChange();
    seek_pending_ = false;
  }
}

void PositionBar::PositionRangeBarLowChange(int low) {
  low_ = ClampToBar(low);
  HandleLowChange();
}

void PositionBar::PositionRangeBarHighChange(int high) {
  high_ = std::max(ClampToBar(high), low_);
  view_->SetBarHigh(high_);
  HandleHighChange();
}

void PositionBar::HandleLowChange() {
  if (!handling_) return;
  handling_ = false;
  if (dragging_) {
    // A drag only updates the display; the seek happens once, at mouse-up.
    seek_pending_ = true;
    ShowPlayTime(low_);
    ShowStartPoint(low_);
    handling_ = true;
    return;
  }
  start_point_sec_ = low_;
  range_seconds_ = RangeEndSeconds() - start_point_sec_;
  host_->ClearStoppedByUser();
  host_->SeekTo(low_);
  handling_ = true;
  MoveStartPoint(low_);
}

void PositionBar::HandleHighChange() {
  if (!handling_) return;
  // During a conversion the stop point is frozen; only the label follows.
  if (!host_->ConversionRunning()) {
    stop_point_sec_ = high_;
    range_seconds_ = RangeEndSeconds() - start_point_sec_;
  }
  ShowStopPoint();
  if (!host_->ConversionRunning()) host_->RangeChanged();
}

void PositionBar::MoveLowWithHandling(int low) {
  low_ = low;
  view_->SetBarLow(low_);
  HandleLowChange();
}

// --- The source ---

void PositionBar::SourceRendered(double seconds) {
  if (!(seconds > 0)) seconds = 0;  // not-a-number too
  const int whole = seconds >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(seconds);
  title_seconds_ = seconds;
  title_whole_ = whole;
  maximum_ = whole;
  high_ = whole;
  low_ = 0;
  view_->SetBarMaximum(maximum_);
  view_->SetBarHigh(high_);
  view_->SetBarLow(low_);
  start_point_sec_ = 0;
  stop_point_sec_ = whole;
  range_seconds_ = seconds;
  seek_pending_ = false;
  play_seconds_ = 0;
  ShowStopPoint();
  ShowStartPoint(0);
  RefreshPlayTime();
}

void PositionBar::GraphClosed() {
  maximum_ = 1;
  low_ = 0;
  high_ = 1;
  view_->SetBarMaximum(maximum_);
  view_->SetBarHigh(high_);
  view_->SetBarLow(low_);
  title_seconds_ = 0;
  title_whole_ = -1;
  start_point_sec_ = 0;
  stop_point_sec_ = 0;
  range_seconds_ = 0;
  seek_pending_ = false;
  play_seconds_ = 0;
}

// --- Time display and start label ---

void PositionBar::WriteTimeLabel(int seconds) {
  if (seconds < 0) seconds = 0;
  const int length = std::max(title_whole_, 0);
  char text[96];
  std::snprintf(text, sizeof text, "%d:%02d:%02d of [%d:%02d:%02d] ", seconds / 3600,
                seconds % 3600 / 60, seconds % 60, length / 3600, length % 3600 / 60, length % 60);
  view_->SetTimeLabel(text);
}

void PositionBar::ShowPlayTime(int seconds) { WriteTimeLabel(seconds); }

void PositionBar::SetPlayTime(int hours, int minutes, int seconds) {
  play_seconds_ = ClampToInt(int64_t{hours} * 3600 + int64_t{minutes} * 60 + seconds);
}

void PositionBar::RefreshPlayTime() {
  if (pause_requested_) return;
  WriteTimeLabel(play_seconds_);
}

void PositionBar::ShowStartPoint(int seconds) {
  if (host_->ConversionRunning() || host_->SourceReadiness() != SourceState::kReady) return;
  if (seconds < 0) seconds = 0;
  char text[64];
  if (seconds < 3600) {
    std::snprintf(text, sizeof text, "<-%d:%02d (start point) ", seconds / 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "<-%d:%02d:%02d (start point) ", seconds / 3600,
                  seconds % 3600 / 60, seconds % 60);
  }
  view_->SetStartPointCaption(text);
  view_->BringStartPointToFront();
  PlaceStartLabel(seconds);
  start_point_sec_ = seconds;
  range_seconds_ = RangeEndSeconds() - start_point_sec_;
  host_->RangeChanged();
}

void PositionBar::MoveStartPoint(int seconds) {
  // The playback position must not pull the thumb out of the user's hand.
  if (dragging_) return;
  low_ = ClampToBar(seconds);
  view_->SetBarLow(low_);
  if (low_ == high_) HandleHighChange();
  ShowStartPoint(low_);
}

void PositionBar::ShowStopPoint() {
  const int seconds = std::max(high_, 0);
  const int hours = seconds / 3600;
  char text[64];
  if (hours != 0) {
    std::snprintf(text, sizeof text, " (stop point) %d:%02d:%02d->", hours, seconds % 3600 / 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, " (stop point) %d:%02d->", seconds / 60, seconds % 60);
  }
  view_->SetEndPointCaption(text);
  view_->BringEndPointToFront();
  PlaceEndLabel();
}

void PositionBar::PlaceStartLabel(int seconds) {
  if (maximum_ <= 0) return;
  const int64_t span = int64_t{view_->BarWidth()} - 2 * kThumbInset;
  view_->SetStartPointLeft(
      ClampToInt(int64_t{seconds} * span / maximum_ + view_->BarLeft() + kThumbInset));
}

void PositionBar::PlaceEndLabel() {
  if (maximum_ <= 0) return;
  const int64_t span = int64_t{view_->BarWidth()} - 2 * kThumbInset;
  view_->SetEndPointLeft(ClampToInt(span * std::max(high_, 0) / maximum_ + view_->BarLeft() -
                                    view_->EndPointWidth() + kThumbInset));
}

void PositionBar::BarResized() {
  PlaceStartLabel(start_point_sec_);
  PlaceEndLabel();
}

// --- Other writers of the thumbs ---

void PositionBar::ApplyProfileRange(int ss, int t) {
  ss = std::max(ss, 0);
  t = std::max(t, 0);
  int end = high_;
  if (t > 0) {
    end = ClampToInt(int64_t{ss} + t);
    if (end > maximum_) {
      maximum_ = end;
      view_->SetBarMaximum(maximum_);
    }
  } else if (title_whole_ >= 0) {
    // No duration is the whole source: the stop point goes back to the end
    // of the file, wherever an earlier range had left it.
    end = title_whole_;
  }
  low_ = std::min(ss, maximum_);
  view_->SetBarLow(low_);
  start_point_sec_ = low_;
  range_seconds_ = RangeEndSeconds() - start_point_sec_;
  high_ = end;
  view_->SetBarHigh(high_);
  HandleHighChange();
  ShowStartPoint(low_);
}

void PositionBar::SetRangeSilently(int low, int high) {
  low_ = ClampToBar(low);
  high_ = std::max(ClampToBar(high), low_);
  view_->SetBarLow(low_);
  view_->SetBarHigh(high_);
  start_point_sec_ = low_;
  stop_point_sec_ = high_;
  range_seconds_ = RangeEndSeconds() - start_point_sec_;
  ShowStopPoint();
  ShowStartPoint(low_);
}

void PositionBar::MoveLowToHigh() {
  low_ = high_;
  view_->SetBarLow(low_);
  ShowPlayTime(low_);
}

void PositionBar::NudgeLow() {
  const int start = low_;
  if (start + 1 <= high_ && start + 1 <= maximum_) MoveLowWithHandling(start + 1);
  // Back to the start point, with its seek, even where the thumb could not
  // move forward (low already at the stop point).
  MoveLowWithHandling(start);
}

// --- The stop point ---

bool PositionBar::StopPointIsFileEnd() const {
  return title_whole_ >= 0 && stop_point_sec_ >= title_whole_;
}

bool PositionBar::EndtimeReached(int position) {
  return ovc::EndtimeReached(host_->ConversionRunning(), position, stop_point_sec_,
                             StopPointIsFileEnd());
}

double PositionBar::RangeEndSeconds() const {
  // A stop point at or past the end of the file is the file's true end.
  return StopPointIsFileEnd() ? title_seconds_ : stop_point_sec_;
}

int PositionBar::ClampToBar(int seconds) const { return std::clamp(seconds, 0, std::max(maximum_, 0)); }

}  // namespace ovc
