#pragma once

#include <string>

namespace ovc {

// The controls under the video panel as the position bar drives them:
// PositionRangeBar, TimeLabel, StartPoint_label and EndPoint_label.
// Positions are whole seconds; places and widths are pixels in the bar's
// parent. Setting a thumb or the maximum from here never raises the bar's
// change events (the toolkit view blocks them); only the user's own moves
// come back as PositionBar events.
class PositionBarView {
 public:
  virtual ~PositionBarView() = default;

  virtual void SetBarMaximum(int seconds) = 0;
  virtual void SetBarLow(int seconds) = 0;
  virtual void SetBarHigh(int seconds) = 0;
  virtual int BarLeft() = 0;
  virtual int BarWidth() = 0;

  virtual void SetTimeLabel(const std::string& text) = 0;

  virtual void SetStartPointCaption(const std::string& text) = 0;
  virtual void SetStartPointLeft(int left) = 0;
  virtual void BringStartPointToFront() = 0;
  virtual int StartPointWidth() = 0;

  virtual void SetEndPointCaption(const std::string& text) = 0;
  virtual void SetEndPointLeft(int left) = 0;
  virtual void BringEndPointToFront() = 0;
  virtual int EndPointWidth() = 0;
};

// Whether the open video file can be played and converted:
//
//   kNone --its graph is complete--> kReady --another file / closed--> kNone
enum class SourceState { kNone, kReady };

// What the position bar needs from the main window.
class PositionBarHost {
 public:
  virtual ~PositionBarHost() = default;

  // A conversion (either pass) is running.
  virtual bool ConversionRunning() = 0;
  virtual SourceState SourceReadiness() = 0;
  // Sets the playback position of the file.
  virtual void SeekTo(double seconds) = 0;
  // Clears the flag that a conversion was stopped by the user.
  virtual void ClearStoppedByUser() = 0;
  // The start or stop point changed while no conversion runs (the user
  // moved a thumb, playback moved the start point, or a range was applied).
  virtual void RangeChanged() {}
};

// The range bar under the video: its low thumb is at once the playback
// position and the start point, its high thumb the stop point. Keeps the
// seconds behind the thumbs (StartPointSec, StopPointSec, RangeSeconds,
// TitleSeconds), writes the time display and the two range labels, and
// turns a drag of the low thumb into a single seek at mouse-up.
//
//   idle --mouse-down--> dragging (display only, seek pending)
//        <--mouse-up---- one seek to the low thumb, if it moved
//
// The change-handling flag mirrors the bar's: while it is off (inside a
// handler), thumb events do nothing but record the new position.
//
// A stop point at the end of the file (at or past the file's whole-second
// length) means "the file's true end": the range then counts the exact
// length, and the timer's stop check leaves the conversion to the
// completion event, so the last fraction of a second is converted too.
//
// User interface thread only. View and host are not owned and must outlive
// the bar.
class PositionBar {
 public:
  PositionBar(PositionBarView* view, PositionBarHost* host);
  PositionBar(const PositionBar&) = delete;
  PositionBar& operator=(const PositionBar&) = delete;

  // --- The bar's events (the user moved or pressed it) ---
  void PositionRangeBarMouseDown();
  void PositionRangeBarMouseUp();
  // The user moved the low thumb to `low` (seconds).
  void PositionRangeBarLowChange(int low);
  // The high thumb moved to `high` (seconds); it stays at or after the low
  // thumb.
  void PositionRangeBarHighChange(int high);

  // --- The source ---
  // A file of `seconds` (exact length) was rendered: the maximum and the
  // high thumb become its whole-second length, the low thumb 0;
  // TitleSeconds and RangeSeconds the exact length; the time display shows
  // 0 of that length. A length that is negative or not a number counts as 0.
  void SourceRendered(double seconds);
  // The graph was closed: the bar reads 0 of 1 again and a pending drag seek
  // is dropped. The labels keep their texts.
  void GraphClosed();

  // --- Time display and start label ---
  // TimeLabel = "h:mm:ss of [h:mm:ss] " for `seconds` and the file length.
  void ShowPlayTime(int seconds);
  // Stores the current playback time that RefreshPlayTime shows.
  void SetPlayTime(int hours, int minutes, int seconds);
  // TimeLabel from the stored current time, except while a pause is
  // requested (a drag in progress).
  void RefreshPlayTime();
  // Writes and places StartPoint_label for `seconds` and sets the start point
  // and RangeSeconds from it. Only when no conversion runs and the source is
  // ready.
  void ShowStartPoint(int seconds);
  // The bar changed width: the start and stop labels go back under their
  // thumbs.
  void BarResized();
  // The playback position moved to `seconds`: the low thumb follows (no
  // change handling), the stop label is refreshed when it meets the high
  // thumb, and the start label follows. Nothing while the user drags.
  void MoveStartPoint(int seconds);

  // --- Other writers of the thumbs ---
  // A profile applied at convert time (start `ss`, duration `t`, seconds):
  // the low thumb and the start point become `ss`; when `t` is positive the
  // maximum grows to ss + t when needed and the high thumb moves there, and
  // when `t` is 0 ("whole source") the high thumb goes back to the end of
  // the file; either way with change handling on, so the stop point follows.
  // Negative values count as 0; the low thumb stays within the maximum.
  // Does not seek: the caller seeks playback to low(). Meant for the first
  // pass: the second pass keeps the range SetRangeSilently gave it.
  void ApplyProfileRange(int ss, int t);
  // End of the first of two passes: the low thumb back to `low` (where
  // recording started), the high thumb to `high` (where pass 1 stopped),
  // without change handling. The start and stop points follow, so the
  // second pass records the same range as the first.
  void SetRangeSilently(int low, int high);
  // End of a conversion: the low thumb moves onto the high one without
  // change handling, and the time display shows that position.
  void MoveLowToHigh();
  // Play after the user stopped a conversion: the low thumb one second
  // forward and back with change handling on, so playback seeks back to the
  // start point.
  void NudgeLow();

  // --- The stop point ---
  // The stop point is the end of the file: StopPointSec at or past the
  // rendered file's whole-second length (the high thumb at the maximum).
  bool StopPointIsFileEnd() const;
  // The timer's stop check for playback position `position` (whole seconds):
  // true when a conversion runs and the position has reached StopPointSec,
  // except when the stop point is the end of the file.
  bool EndtimeReached(int position);

  // --- State ---
  int low() const { return low_; }
  int high() const { return high_; }
  int maximum() const { return maximum_; }
  int StartPointSec() const { return start_point_sec_; }
  int StopPointSec() const { return stop_point_sec_; }
  double RangeSeconds() const { return range_seconds_; }
  double TitleSeconds() const { return title_seconds_; }
  bool dragging() const { return dragging_; }
  bool pause_requested() const { return pause_requested_; }

 private:
  // The handlers proper; they do nothing while change handling is off.
  void HandleLowChange();
  void HandleHighChange();
  // Sets the low thumb and runs its change handling (handling on).
  void MoveLowWithHandling(int low);
  // EndPoint_label's caption and place for the high thumb.
  void ShowStopPoint();
  // Places StartPoint_label under the low thumb at `seconds`, EndPoint_label
  // (ending) under the high thumb.
  void PlaceStartLabel(int seconds);
  void PlaceEndLabel();
  // Where the range ends in seconds: the exact length when the stop point
  // is the end of the file, else StopPointSec.
  double RangeEndSeconds() const;
  void WriteTimeLabel(int seconds);
  int ClampToBar(int seconds) const;

  PositionBarView* view_;
  PositionBarHost* host_;

  int maximum_ = 1;
  int low_ = 0;
  int high_ = 1;
  bool handling_ = true;
  bool dragging_ = false;
  bool seek_pending_ = false;
  bool pause_requested_ = false;

  int start_point_sec_ = 0;
  int stop_point_sec_ = 0;
  double range_seconds_ = 0;
  double title_seconds_ = 0;
  // The rendered file's length in whole seconds; -1 before a file is
  // rendered.
  int title_whole_ = -1;
  // The stored current playback time.
  int play_seconds_ = 0;
};

}  // namespace ovc
