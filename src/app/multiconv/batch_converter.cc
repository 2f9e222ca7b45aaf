#include "ui/main/batch_converter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <ostream>

#include "common/message_box.h"
#include "common/scripted_message_box.h"
#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/profile.h"
#include "platform/media/library_log.h"
#include "settings/setting_rules.h"
#include "transfer/thumbnail.h"
#include "ui/dialogs/output_folder_presenter.h"
#include "ui/main/conversion_shortfall.h"
#include "ui/main/failed_output_note.h"
#include "ui/main/headless_window.h"
#include "ui/main/main_presenter.h"
#include "ui/main/time_text.h"

namespace ovc {
namespace {

// Every message the program shows goes to standard error; questions are
// answered as the command line asked: overwriting only with --yes,
// everything else (stopping a conversion) with Yes.
class BatchMessageBox : public MessageBox {
 public:
  BatchMessageBox(std::ostream& err, bool overwrite) : err_(err), overwrite_(overwrite) {}

  MessageButton Show(const MessageRequest& request) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool overwrite_question = request.text.find("Overwrite?") != std::string::npos;
    MessageButton answer = DefaultAnswer(request.buttons);
    if (request.buttons & kButtonYes) answer = overwrite_question && !overwrite_ ? kButtonNo : kButtonYes;
    // Questions are only news when the answer refuses: asking to stop a
    // conversion is the program's own doing, and --yes settles overwriting.
    const bool report = request.kind != MessageKind::kConfirmation || answer != kButtonYes;
    if (report) {
      // One line: each run of line breaks (and the spaces around them)
      // becomes one space.
      std::string text;
      bool at_break = false;
      for (char c : request.text) {
        if (c == '\n') {
          while (!text.empty() && text.back() == ' ') text.pop_back();
          at_break = true;
        } else if (!(at_break && c == ' ')) {
          if (at_break && !text.empty()) text += ' ';
          text += c;
          at_break = false;
        }
      }
      err_ << (at_line_start_ ? "" : "\n") << "multiconv: " << text << '\n';
      at_line_start_ = true;
      if (request.kind == MessageKind::kError || request.kind == MessageKind::kWarning)
        ++failures_;
      if (overwrite_question && answer != kButtonYes) ++declined_;
    }
    return answer;
  }

  // Messages that make the current input a failure, so far: errors and
  // warnings, and overwrite questions answered No.
  int failures() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_ + declined_;
  }
  // Only the errors and warnings among them.
  int errors() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
  }
  void set_at_line_start(bool at_start) {
    std::lock_guard<std::mutex> lock(mutex_);
    at_line_start_ = at_start;
  }

 private:
  std::mutex mutex_;
  std::ostream& err_;
  bool overwrite_;
  int failures_ = 0;
  int declined_ = 0;
  bool at_line_start_ = true;
};

// The default output folder dialog answered without a screen: the movie
// folder on the desktop, as the dialog's first choice makes it.
class HeadlessFolderChoice : public OutputFolderView, public SaveFileDialog {
 public:
  void SetDesktopMovieFolderCaption(const std::string&) override {}
  void SetHomeFolderCaption(const std::string&) override {}
  void SetBrowseButtonVisible(bool) override {}
  void Close() override {}
  bool Run(const SaveFileRequest&, std::string*) override {
    return false;
  }
};

// Progress on standard error: one updating line on a terminal, otherwise a
// line every few seconds.
class ProgressPrinter {
 public:
  ProgressPrinter(std::ostream& err, bool quiet, BatchMessageBox* box)
      : err_(err), quiet_(quiet), terminal_(isatty(STDERR_FILENO) == 1), box_(box) {}

  void Status(const std::string& text) {
    if (quiet_ || text.empty()) return;
    const auto now = std::chrono::steady_clock::now();
    if (terminal_) {
      err_ << "\r" << text << "\x1b[K" << std::flush;
      box_->set_at_line_start(false);
      line_open_ = true;
    } else if (now >= next_line_) {
      err_ << text << '\n';
      printed_ = text;
      next_line_ = now + std::chrono::seconds(5);
    }
    last_ = text;
  }

  // Ends the progress of one input: a terminal's line is closed, and a log
  // gets the final figures.
  void EndLine() {
    if (line_open_) err_ << '\n';
    if (!terminal_ && !quiet_ && !last_.empty() && last_ != printed_) err_ << last_ << '\n';
    last_.clear();
    printed_.clear();
    next_line_ = {};
    line_open_ = false;
    box_->set_at_line_start(true);
  }

 private:
  std::ostream& err_;
  bool quiet_;
  bool terminal_;
  BatchMessageBox* box_;
  bool line_open_ = false;
  std::string last_;     // the latest figures
  std::string printed_;  // the figures last written to a log
  std::chrono::steady_clock::time_point next_line_{};
};

std::string WorkingFolder() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? buffer : ".";
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int FindProfile(const std::vector<std::string>& names, const std::string& wanted) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == wanted) return static_cast<int>(i);
  for (size_t i = 0; i < names.size(); ++i)
    if (strcasecmp(names[i].c_str(), wanted.c_str()) == 0) return static_cast<int>(i);
  return -1;
}

// Removes the files of a conversion that did not finish, each PSP file with
// the thumbnail made for it.
void RemoveOutputs(const std::vector<std::string>& paths, bool psp_files) {
  for (const std::string& path : paths) {
    unlink(path.c_str());
    const std::string thumbnail = psp_files ? ThumbnailPath(path) : "";
    if (!thumbnail.empty()) unlink(thumbnail.c_str());
  }
}

// Why `input` cannot be converted before it is even opened, or null. Only a
// regular file will do: opening a pipe waits for a writer that may never
// come, and a device or a folder holds no file to read.
const char* InputRefusal(const std::string& input) {
  struct stat info;
  if (stat(input.c_str(), &info) != 0) return "cannot read the file";
  if (!S_ISREG(info.st_mode)) {
    return S_ISDIR(info.st_mode) ? "is a folder, not a video file"
                                 : "not a regular file (a pipe or a device cannot be converted)";
  }
  return nullptr;
}

// The longest a conversion may go without any progress before it counts as
// stuck: generous, a slow machine converts HD at a fraction of real time.
constexpr auto kStallLimit = std::chrono::minutes(10);

}  // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err,
             const std::atomic<bool>* interrupt) {
  BatchMessageBox box(err, options.yes);
  ScopedMessageBox installed(&box);
  ProgressPrinter progress(err, options.quiet, &box);
  if (PrepareProgramFolder() != 0) {
    err << "multiconv: cannot create the program folder " << ProgramFolder() << '\n';
    return 1;
  }

  HeadlessWindow window;
  // The workflow's short waits let a window repaint; without one they only
  // cost time.
  window.set_real_sleep(false);
  MainWindowParts parts;
  parts.view = &window;
  parts.host = &window;
  parts.profile_view = &window;
  parts.profile_host = &window;
  parts.bar_view = &window;
  parts.guide_view = &window;
  MainWindowOptions main_options;
  main_options.start_folder = WorkingFolder();
  main_options.in_batch_tool = true;
  main_options.interrupt = interrupt;
  MainPresenter presenter(parts, main_options);

  bool finished = false;
  window.finished_recording = [&finished](const std::string&, bool) { finished = true; };
  window.status_changed = [&progress](const std::string& text) { progress.Status(text); };
  HeadlessFolderChoice folder_view;
  window.ask_default_output_folder = [&presenter, &folder_view]() {
    OutputFolderPresenter dialog(&folder_view, &folder_view, &presenter.output(),
                                 &presenter.mutable_output_path());
    dialog.FormShow(presenter.profiles().psp());
    dialog.RadioButton1Click();
    return dialog.TeButton2Click();
  };
  window.SetMessageHandler([&presenter](uint32_t message, intptr_t wparam, intptr_t lparam) {
    return presenter.HandleMessage(message, wparam, lparam);
  });
  window.SetTimer([&presenter] { presenter.PerformanceMonitorTimer(); });

  presenter.FormCreate();
  const std::vector<std::string> names = presenter.profiles().profile_names();
  if (options.list_profiles) {
    for (const std::string& name : names) out << name << '\n';
    presenter.FormClose();
    return 0;
  }

  if (!options.profile.empty()) {
    int index = FindProfile(names, options.profile);
    if (index < 0) {
      err << "multiconv: unknown profile \"" << options.profile << "\"; --list-profiles shows "
          << "the profiles there are\n";
      presenter.FormClose();
      return 1;
    }
    presenter.profiles().ApplyProfile(index);
  }
  if (!presenter.profiles().current()) {
    err << "multiconv: No profile selected\n";
    presenter.FormClose();
    return 1;
  }
  // The output settings of this run only.
  OutputConfig& output = presenter.output();
  if (options.passes) output.n_pass = *options.passes;
  if (options.split_mb) output.split_size = *options.split_mb;
  if (options.volume) output.audio_volume = *options.volume;
  if (options.brightness) {
    Brightness brightness = BrightnessForLevel(*options.brightness);
    output.brightness_a = brightness.a;
    output.brightness_b = brightness.b;
  }
  if (!options.output_folder.empty()) {
    if (!IsFolder(options.output_folder)) {
      err << "multiconv: the output folder " << options.output_folder << " does not exist\n";
      presenter.FormClose();
      return 1;
    }
    presenter.profiles().OutputFolderEditChange(options.output_folder);
  }

  int failed = 0;
  for (const std::string& input : options.inputs) {
    const int failures_before = box.failures();
    const int errors_before = box.errors();
    auto fail = [&](const std::string& text) {
      progress.EndLine();
      if (!text.empty()) err << "multiconv: " << input << ": " << text << '\n';
      ++failed;
    };
    // Stopped before this input's conversion began: it is not converted,
    // which the exit status must say.
    const char* const kNotBegun = "interrupted before the conversion began";
    if (interrupt && interrupt->load()) {
      fail(kNotBegun);
      break;
    }
    media::TakeLibraryErrorCount();  // what earlier inputs caused
    if (access(input.c_str(), R_OK) != 0) {
      fail("cannot read the file");
      continue;
    }
    if (const char* refusal = InputRefusal(input)) {
      fail(refusal);
      continue;
    }
    if (presenter.OpenVideoFile(input) != 0 || presenter.source_readiness() != 2) {
      if (interrupt && interrupt->load()) {
        fail(kNotBegun);
        break;
      }
      fail(box.failures() > failures_before ? "" : "not a video file the program can play");
      continue;
    }
    if (box.failures() > failures_before) {
      // A warning while opening (sound the graph cannot play): the
      // conversion could only end in a failure, after all its work.
      fail("not converted");
      continue;
    }
    window.ProcessPendingMessages();
    CProfile* profile = presenter.profiles().current();
    if (options.start) profile->ss = *options.start;
    if (options.duration) profile->t = *options.duration;
    if (profile->ss > 0 && profile->ss >= presenter.bar().TitleSeconds()) {
      fail("the start point " + FormatHms(profile->ss) + " is past the end (" +
           FormatHms(static_cast<int64_t>(presenter.bar().TitleSeconds())) + ")");
      continue;
    }
    presenter.SetRange(profile->ss, profile->t);
    if (!options.output_file.empty()) presenter.FixOutputPath(options.output_file);

    if (interrupt && interrupt->load()) {
      fail(kNotBegun);
      break;
    }
    finished = false;
    presenter.StartRecordingButtonClick();
    if (!presenter.converting()) {
      fail(box.failures() > failures_before ? "" : "the conversion did not start");
      continue;
    }
    // The range the conversion was given: the profile's, else the source's
    // declared length (a second pass only redoes what the first covered).
    const double range_seconds = presenter.bar().RangeSeconds();
    bool interrupted = false;
    double last_recorded = -1;
    auto last_move = std::chrono::steady_clock::now();
    bool stalled = false;
    window.RunUntil(
        [&]() {
          if (finished || presenter.ended_by_failure()) return true;
          if (interrupt && interrupt->load() && !interrupted) {
            interrupted = true;
            // Stop now, in either pass: what was written is kept.
            presenter.output().n_pass = 1;
            presenter.output().pass = 1;
            presenter.StartRecordingButtonClick();
            return finished;
          }
          const double recorded = presenter.capture().recorded_seconds();
          const auto now = std::chrono::steady_clock::now();
          if (recorded != last_recorded) {
            last_recorded = recorded;
            last_move = now;
          } else if (now - last_move > kStallLimit) {
            stalled = true;
            presenter.StartRecordingButtonClick();
            return true;
          }
          return false;
        },
        std::chrono::hours(24 * 365));
    // The end message still waits in the queue: the final figures.
    window.ProcessPendingMessages();
    progress.EndLine();
    std::vector<std::string> parts_written = presenter.session().part_paths();
    const bool psp_files = presenter.profiles().OutputIsPspFile();
    // Stopped after the output was opened but before its first picture: the
    // file holds no stream a player could open, and nothing was converted.
    const bool nothing_converted = interrupted && presenter.capture().first_picture_pending();
    if (nothing_converted) {
      RemoveOutputs(parts_written, psp_files);
      parts_written.clear();
    }
    if (stalled) {
      RemoveOutputs(parts_written, psp_files);
      fail("the conversion made no progress for 10 minutes and was stopped");
    } else if (presenter.ended_by_failure()) {
      // Told why already; what is left is no finished output.
      fail(FailedOutputNote(parts_written));
    } else if (box.errors() > errors_before) {
      // The writer reported a failure: what it left is not a finished file.
      RemoveOutputs(parts_written, psp_files);
      fail("");
    } else if (!interrupted && presenter.capture().first_picture_pending()) {
      // The source ended before a single picture: the file holds no stream.
      RemoveOutputs(parts_written, psp_files);
      fail("no picture could be decoded");
    } else if (box.failures() > failures_before) {
      // A later part was not to be overwritten: the parts before it are
      // finished files.
      for (const std::string& path : parts_written) out << path << '\n';
      out.flush();
      fail("stopped before the next part; the parts before it are kept");
    } else {
      for (const std::string& path : parts_written) out << path << '\n';
      out.flush();
      if (nothing_converted) {
        err << "multiconv: " << input << ": interrupted before the first picture was converted\n";
        ++failed;
      } else if (interrupted) {
        err << "multiconv: interrupted; " << input << " was converted up to where it stopped\n";
        ++failed;
      } else {
        // Still a good file as far as it goes: said, but not a failure. How
        // far into the source it got counts on the source's own clock (a
        // jump in its time stamps is skipped in the output, not missing).
        CaptureStage& capture = presenter.capture();
        const double reached = capture.first_picture_pending() ? 0 : capture.next_output_time();
        const std::string shortfall = ConversionShortfallText(reached, range_seconds);
        if (!shortfall.empty()) err << "multiconv: " << input << ": " << shortfall << '\n';
      }
    }
    // The libraries' own lines are in the trace log; one line says so.
    if (const int errors = media::TakeLibraryErrorCount(); errors > 0)
      err << "multiconv: " << input << ": " << errors
          << " errors reported while reading the source (it may be damaged); the "
          << "trace log " << TraceLogPath() << " has them\n";
    if (interrupted) break;
  }
  presenter.FormClose();
  return failed == 0 ? 0 : 1;
}

}  // namespace ovc
