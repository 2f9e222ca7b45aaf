#include "app/multiconv/batch_converter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>

#include "app/multiconv/headless_window.h"
#include "common/message_box.h"
#include "common/scripted_message_box.h"
#include "common/paths.h"
#include "common/trace.h"
#include "engine/record/profile.h"
#include "platform/media/library_log.h"
#include "transfer/thumbnail.h"
#include "ui/main/conversion_shortfall.h"
#include "ui/main/failed_output_note.h"
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
// How long the source's shape may take to arrive after it opened.
constexpr auto kLayoutWait = std::chrono::seconds(10);

// One input's conversion, as far as its report needs it.
struct Conversion {
  // The message box's counts when the input began.
  int failures_before = 0;
  int errors_before = 0;
  // The range the conversion was given, in seconds: the profile's, else the
  // source's declared length (a second pass only redoes what the first
  // covered).
  double range_seconds = 0;
  bool interrupted = false;  // stopped by the interrupt flag
  bool stalled = false;      // stopped after kStallLimit without progress
};

// How far an input got before its report.
enum class InputStep {
  kConverted,    // the conversion ran and ended (or was stopped): report it
  kFailed,       // refused or not started; said so already
  kInterrupted,  // stopped before its conversion began; the run ends
};

// The batch run: the set-up of the window and its output settings, the
// conversion of one input after the other, and the report of each.
class BatchRun {
 public:
  BatchRun(const BatchOptions& options, std::ostream& out, std::ostream& err,
           const std::atomic<bool>* interrupt)
      : options_(options),
        out_(out),
        err_(err),
        interrupt_(interrupt),
        box_(err, options.yes),
        installed_(&box_),
        progress_(err, options.quiet, &box_) {}

  // Prepares the program folder and the window with the chosen profile and
  // the run's output settings. Returns the exit status when the run ends
  // here (a failure, or only the profile list was asked for), else nothing.
  std::optional<int> SetUp();
  // Opens `input` and converts it up to the conversion's end.
  InputStep Convert(const std::string& input, Conversion* conversion);
  // Tells how the conversion of `input` ended: its finished files go to
  // `out`, files that are no finished output are removed.
  void Report(const std::string& input, const Conversion& conversion);
  // Closes the window. Returns the exit status.
  int Finish();

 private:
  // `input` failed; `text` says why (empty: said already).
  void Fail(const std::string& input, const std::string& text);
  bool Interrupted() const { return interrupt_ && interrupt_->load(); }
  // Runs the window until the conversion started ends, is interrupted or
  // stalls.
  void WaitForEnd(Conversion* conversion);
  // Sets the run's options in the window; false when they cannot be.
  bool ApplyOptions();

  const BatchOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  const std::atomic<bool>* interrupt_;
  BatchMessageBox box_;
  ScopedMessageBox installed_;
  ProgressPrinter progress_;
  HeadlessWindow window_;
  std::unique_ptr<MainPresenter> presenter_;
  bool finished_ = false;  // the finished-recording report came
  int failed_ = 0;         // inputs that failed
};

std::optional<int> BatchRun::SetUp() {
  if (PrepareProgramFolder() != 0) {
    err_ << "multiconv: cannot create the program folder " << ProgramFolder() << '\n';
    return 1;
  }
  // The workflow's short waits let a window repaint; without one they only
  // cost time.
  window_.set_real_sleep(false);
  MainWindowParts parts = window_.parts();
  MainWindowOptions main_options;
  main_options.start_folder = WorkingFolder();
  main_options.in_batch_tool = true;
  main_options.interrupt = interrupt_;
  presenter_ = std::make_unique<MainPresenter>(parts, main_options);
  MainPresenter& presenter = *presenter_;

  window_.finished_recording = [this](const std::string&, bool) { finished_ = true; };
  window_.status_changed = [this](const std::string& text) { progress_.Status(text); };
  window_.ask_default_output_folder = [&presenter]() {
    return presenter.ChooseDesktopMovieFolder();
  };
  window_.SetMessageHandler([&presenter](uint32_t message, intptr_t wparam, intptr_t lparam) {
    return presenter.HandleMessage(message, wparam, lparam);
  });
  window_.SetTimer([&presenter] { presenter.PerformanceMonitorTimer(); });

  presenter.FormCreate();
  if (options_.list_profiles) {
    for (const std::string& name : presenter.profiles().profile_names()) out_ << name << '\n';
    presenter.FormClose();
    return 0;
  }
  if (!ApplyOptions()) {
    presenter.FormClose();
    return 1;
  }
  return std::nullopt;
}

bool BatchRun::ApplyOptions() {
  MainPresenter& presenter = *presenter_;
  if (!options_.profile.empty()) {
    int index = FindProfile(presenter.profiles().profile_names(), options_.profile);
    if (index < 0) {
      err_ << "multiconv: unknown profile \"" << options_.profile << "\"; --list-profiles shows "
           << "the profiles there are\n";
      return false;
    }
    presenter.profiles().ApplyProfile(index);
  }
  if (!presenter.profiles().current()) {
    err_ << "multiconv: No profile selected\n";
    return false;
  }
  if (options_.crf) {
    CProfile* profile = presenter.profiles().current();
    if (!profile->OffersQuality()) {
      err_ << "multiconv: the profile \"" << profile->name << "\" has no constant quality; "
           << "--crf is for profiles that offer one\n";
      return false;
    }
    profile->crf = *options_.crf;
  }
  // The output settings of this run only.
  OutputOverrides overrides;
  overrides.passes = options_.passes;
  overrides.split_mb = options_.split_mb;
  overrides.volume = options_.volume;
  overrides.brightness_level = options_.brightness;
  presenter.OverrideOutput(overrides);
  if (!options_.output_folder.empty()) {
    if (!IsFolder(options_.output_folder)) {
      err_ << "multiconv: the output folder " << options_.output_folder << " does not exist\n";
      return false;
    }
    presenter.profiles().OutputFolderEditChange(options_.output_folder);
  }
  return true;
}

void BatchRun::Fail(const std::string& input, const std::string& text) {
  progress_.EndLine();
  if (!text.empty()) err_ << "multiconv: " << input << ": " << text << '\n';
  ++failed_;
}

InputStep BatchRun::Convert(const std::string& input, Conversion* conversion) {
  MainPresenter& presenter = *presenter_;
  conversion->failures_before = box_.failures();
  conversion->errors_before = box_.errors();
  const int failures_before = conversion->failures_before;
  // Stopped before this input's conversion began: it is not converted,
  // which the exit status must say.
  const char* const kNotBegun = "interrupted before the conversion began";
  if (Interrupted()) {
    Fail(input, kNotBegun);
    return InputStep::kInterrupted;
  }
  media::TakeLibraryErrorCount();  // what earlier inputs caused
  if (access(input.c_str(), R_OK) != 0) {
    Fail(input, "cannot read the file");
    return InputStep::kFailed;
  }
  if (const char* refusal = InputRefusal(input)) {
    Fail(input, refusal);
    return InputStep::kFailed;
  }
  if (presenter.OpenVideoFile(input) != 0 || presenter.source_readiness() != SourceState::kReady) {
    if (Interrupted()) {
      Fail(input, kNotBegun);
      return InputStep::kInterrupted;
    }
    Fail(input, box_.failures() > failures_before ? "" : "not a video file the program can play");
    return InputStep::kFailed;
  }
  if (box_.failures() > failures_before) {
    // A warning while opening (sound the graph cannot play): the
    // conversion could only end in a failure, after all its work.
    Fail(input, "not converted");
    return InputStep::kFailed;
  }
  window_.ProcessPendingMessages();
  // The output takes the source's shape: wait for it, should the capture
  // tell it only with the first picture.
  window_.RunUntil([&] { return presenter.source_layout_known() || Interrupted(); }, kLayoutWait);
  CProfile* profile = presenter.profiles().current();
  if (options_.start) profile->ss = *options_.start;
  if (options_.duration) profile->t = *options_.duration;
  if (profile->ss > 0 && profile->ss >= presenter.bar().TitleSeconds()) {
    Fail(input, "the start point " + FormatHms(profile->ss) + " is past the end (" +
                    FormatHms(static_cast<int64_t>(presenter.bar().TitleSeconds())) + ")");
    return InputStep::kFailed;
  }
  presenter.SetRange(profile->ss, profile->t);
  if (!options_.output_file.empty()) presenter.FixOutputPath(options_.output_file);

  if (Interrupted()) {
    Fail(input, kNotBegun);
    return InputStep::kInterrupted;
  }
  finished_ = false;
  presenter.StartRecordingButtonClick();
  if (!presenter.converting()) {
    Fail(input, box_.failures() > failures_before ? "" : "the conversion did not start");
    return InputStep::kFailed;
  }
  conversion->range_seconds = presenter.bar().RangeSeconds();
  WaitForEnd(conversion);
  // The end message still waits in the queue: the final figures.
  window_.ProcessPendingMessages();
  progress_.EndLine();
  return InputStep::kConverted;
}

void BatchRun::WaitForEnd(Conversion* conversion) {
  MainPresenter& presenter = *presenter_;
  double last_recorded = -1;
  auto last_move = std::chrono::steady_clock::now();
  window_.RunUntil(
      [&]() {
        if (finished_ || presenter.ended_by_failure()) return true;
        if (Interrupted() && !conversion->interrupted) {
          conversion->interrupted = true;
          // Stop now, in either pass: what was written is kept.
          presenter.StopConversionKeepingOutput();
          return finished_;
        }
        const double recorded = presenter.recorded_seconds();
        const auto now = std::chrono::steady_clock::now();
        if (recorded != last_recorded) {
          last_recorded = recorded;
          last_move = now;
        } else if (now - last_move > kStallLimit) {
          conversion->stalled = true;
          presenter.StartRecordingButtonClick();
          return true;
        }
        return false;
      },
      std::chrono::hours(24 * 365));
}

void BatchRun::Report(const std::string& input, const Conversion& conversion) {
  MainPresenter& presenter = *presenter_;
  std::vector<std::string> parts_written = presenter.written_parts();
  const bool psp_files = presenter.profiles().OutputIsPspFile();
  // Stopped after the output was opened but before its first picture: the
  // file holds no stream a player could open, and nothing was converted.
  const bool nothing_converted = conversion.interrupted && presenter.first_picture_pending();
  if (nothing_converted) {
    RemoveOutputs(parts_written, psp_files);
    parts_written.clear();
  }
  if (conversion.stalled) {
    RemoveOutputs(parts_written, psp_files);
    Fail(input, "the conversion made no progress for 10 minutes and was stopped");
  } else if (presenter.ended_by_failure()) {
    // Told why already; what is left is no finished output.
    Fail(input, FailedOutputNote(parts_written));
  } else if (box_.errors() > conversion.errors_before) {
    // The writer reported a failure: what it left is not a finished file.
    RemoveOutputs(parts_written, psp_files);
    Fail(input, "");
  } else if (!conversion.interrupted && presenter.first_picture_pending()) {
    // The source ended before a single picture: the file holds no stream.
    RemoveOutputs(parts_written, psp_files);
    Fail(input, "no picture could be decoded");
  } else if (box_.failures() > conversion.failures_before) {
    // A later part was not to be overwritten: the parts before it are
    // finished files.
    for (const std::string& path : parts_written) out_ << path << '\n';
    out_.flush();
    Fail(input, "stopped before the next part; the parts before it are kept");
  } else {
    for (const std::string& path : parts_written) out_ << path << '\n';
    out_.flush();
    if (nothing_converted) {
      err_ << "multiconv: " << input << ": interrupted before the first picture was converted\n";
      ++failed_;
    } else if (conversion.interrupted) {
      err_ << "multiconv: interrupted; " << input << " was converted up to where it stopped\n";
      ++failed_;
    } else {
      // Still a good file as far as it goes: said, but not a failure.
      const std::string shortfall =
          ConversionShortfallText(presenter.reached_source_seconds(), conversion.range_seconds);
      if (!shortfall.empty()) err_ << "multiconv: " << input << ": " << shortfall << '\n';
    }
  }
  // The libraries' own lines are in the trace log; one line says so.
  if (const int errors = media::TakeLibraryErrorCount(); errors > 0)
    err_ << "multiconv: " << input << ": " << errors
         << " errors reported while reading the source (it may be damaged); the "
         << "trace log " << TraceLogPath() << " has them\n";
}

int BatchRun::Finish() {
  presenter_->FormClose();
  return failed_ == 0 ? 0 : 1;
}

}  // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err,
             const std::atomic<bool>* interrupt) {
  BatchRun run(options, out, err, interrupt);
  if (const std::optional<int> status = run.SetUp()) return *status;
  for (const std::string& input : options.inputs) {
    Conversion conversion;
    const InputStep step = run.Convert(input, &conversion);
    if (step == InputStep::kInterrupted) break;
    if (step == InputStep::kFailed) continue;
    run.Report(input, conversion);
    if (conversion.interrupted) break;
  }
  return run.Finish();
}

}  // namespace ovc
