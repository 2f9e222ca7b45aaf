#include "app/multiconv/headless_window.h"

#include <thread>

#include "ui/main/window_messages.h"

namespace ovc {
namespace {

constexpr std::chrono::milliseconds kTimerInterval{500};

}  // namespace

bool HeadlessWindow::RunUntil(const std::function<bool()>& done,
                              std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return false;
    auto wait = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(next_tick_ - now),
                         std::chrono::duration_cast<std::chrono::milliseconds>(end - now));
    if (wait < std::chrono::milliseconds(0)) wait = std::chrono::milliseconds(0);
    PostedMessage message;
    if (queue_.Take(&message, wait)) Dispatch(message);
    TimerIfDue();
  }
  return true;
}

void HeadlessWindow::TimerIfDue() {
  const auto now = std::chrono::steady_clock::now();
  if (now < next_tick_) return;
  next_tick_ = now + kTimerInterval;
  if (timer_) timer_();
}

void HeadlessWindow::Dispatch(const PostedMessage& message) {
  posted_log_.push_back(message);
  if (handler_) handler_(message.message, message.wparam, message.lparam);
}

void HeadlessWindow::PostMessage(uint32_t message, intptr_t wparam, intptr_t lparam) {
  queue_.Post(PostedMessage{message, wparam, lparam});
}

void HeadlessWindow::ProcessPendingMessages() {
  // Only what is queued now: a handler that posts again must not keep this
  // loop going for ever.
  for (size_t n = queue_.size(); n > 0; --n) {
    PostedMessage message;
    if (!queue_.Take(&message, std::chrono::milliseconds(0))) break;
    Dispatch(message);
  }
}

void HeadlessWindow::Sleep(int milliseconds) {
  if (real_sleep_ && milliseconds > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void HeadlessWindow::SetProgressStatus(const std::string& text) {
  shown_.progress_status = text;
  if (status_changed) status_changed(text);
}

void HeadlessWindow::WindowRect(int* left, int* top, int* width, int* height) {
  *left = shown_.window_left;
  *top = shown_.window_top;
  *width = 800;
  *height = 600;
}

void HeadlessWindow::MoveWindowOnScreen(int left, int top) {
  shown_.window_left = left;
  shown_.window_top = top;
}

void HeadlessWindow::ShowOutputSettings(bool modal) {
  if (show_output_settings) show_output_settings(modal);
}

void HeadlessWindow::ShowFinishedRecording(const std::string& output_path, bool psp,
                                           const ConversionOutcome& outcome) {
  last_outcome_ = outcome;
  if (finished_recording) finished_recording(output_path, psp);
}

void HeadlessWindow::SetProfileItems(const std::vector<std::string>& names) {
  shown_.profile_items = names;
  shown_.profile_selection = -1;
}

}  // namespace ovc
