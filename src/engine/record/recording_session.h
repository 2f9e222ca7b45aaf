#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/mutex.h"
#include "engine/record/encoding_engine.h"
#include "engine/record/file_output.h"
#include "engine/record/output_claim.h"
#include "engine/record/output_config.h"

namespace ovc {

struct CProfile;

// What applying a profile asks of the position bar: the start mark, and the
// end mark when the profile sets a length (end < 0 when it does not).
struct ProfileRange {
  int start = 0;  // seconds
  int end = -1;   // seconds
};

// Copies a profile into the output configuration: frame size (from "s", or
// derived from the source when empty), video bit rate, frame rate, device,
// audio bit rate, sampling rate and channels.
ProfileRange ApplyProfile(const CProfile& profile, OutputConfig* output);

// Whether the output is an MP4 file for the PSP (format 2, or a code above
// QuickTime, with the PSP as device).
bool WritesPspFile(const OutputConfig& output);

// Writes the AVI codec's pass mode for the configured passes; an argument
// given as 0 takes the configuration's value (passes, current pass, video
// handler). Returns the registry status.
int WriteCodecPassMode(const OutputConfig& output, int n_pass = 0, int pass = 0,
                       uint32_t fcc_handler = 0);

// Whether captured pictures must be scaled or brightened: the output size
// differs from the source, the crop is not the whole picture, or the
// brightness terms are not neutral.
bool NeedsResize(const OutputConfig& output, bool crop_is_whole_picture);

// The recording session: names and opens the output file, splits it into
// numbered parts, feeds it through the encoding engine and finishes it,
// pass by pass.
//
//   idle --Open(first)--> open --StartProducers--> recording
//   recording --NextOutputPart--> recording (next part)
//   recording --StopProducers, FinishOutput--> idle
//
// OpenOutput, FinishOutput, StartProducers and StopProducers run on the user
// interface thread; Produce and NextOutputPart on the capture thread.
//
// The output settings belong to the user interface thread: the session
// moves their pass and file number on between passes, and each pass works
// from the copy its first part took, which the capture thread reads too.
class RecordingSession {
 public:
  // `processors` decides the producer: two or more use the encoding threads.
  // `settings` is the user interface thread's; it must outlive the session.
  RecordingSession(OutputConfig* settings, OutputFactory* factory, int processors);
  ~RecordingSession();

  // The file being converted: no file the session writes may be it.
  void set_source_path(const std::string& path) { source_path_ = path; }

  // The full path of the file to write; the main window sets it.
  void set_output_path(const std::string& path) {
    MutexLock lock(&path_mutex_);
    output_path_ = path;
  }
  // The file being written (a later part's path once the output split).
  std::string output_path() const {
    MutexLock lock(&path_mutex_);
    return output_path_;
  }
  int part_number() const { return part_number_; }
  bool audio_enabled() const { return audio_enabled_; }

  // Opens the first file (further_part false) or a further part. A first
  // part takes the copy of the settings the pass works from (and sets the
  // frame rate a PSP file needs in both). Refuses
  // (telling the user) when the file, or any part or thumbnail a first
  // part could lead to, is the source itself, or when another conversion
  // is writing the file. Asks before overwriting an existing file of a
  // first part. Returns 0, or -1 when refused, the user declined or the
  // output could not be opened (the user was told).
  int OpenOutput(bool further_part);

  // Switches to the next numbered part "<base> - NN.<ext>" while recording:
  // holds the encoders off, finishes the current file and opens the next.
  // An existing part file is only overwritten when the user agrees, unless
  // the first of two passes wrote it in this conversion. 0, or -1 when no
  // further part could be opened (the recording then writes nothing more; a
  // part that could not be created counts as a failed output).
  int NextOutputPart();

  // Finishes the current writer and clears the queue and counters.
  void FinishOutput();

  // Starts the producer side (threads or inline) and sets capture_active.
  void StartProducers();
  // Clears capture_active and stops the encoding threads (draining them).
  void StopProducers();

  // The producer entry the capture stage calls for every output frame.
  // Before each picture it makes sure the file is still where it was
  // opened: a file deleted (or its folder removed) while it is written
  // takes every later write without complaint, into nothing.
  void Produce(const uint8_t* frame, const int16_t* audio, int n);

  // Called once per conversion, from whichever thread met it, when the
  // file being written can take no more: a write failed or the file
  // vanished. The user has been told which file and why; the listener
  // should stop the conversion (it posts a message; it must not block).
  // Set while nothing records.
  void set_failure_listener(std::function<void()> listener) {
    failure_listener_ = std::move(listener);
  }
  // Called, from the capture thread, when the user declined to overwrite
  // the next part: the conversion should stop where that part would have
  // begun (it posts a message; it must not block). Set while nothing
  // records.
  void set_part_declined_listener(std::function<void()> listener) {
    part_declined_listener_ = std::move(listener);
  }
  // Called around every question the session asks, from the thread that
  // asks it: `open` true as it is shown, false once answered (the
  // conversion waits for the answer meanwhile). Set while nothing records.
  void set_question_listener(std::function<void(bool open)> listener) {
    question_listener_ = std::move(listener);
  }
  // For an output name the program numbered itself (a PSP file's): gives
  // the next free name after the current one, "" when there is none. The
  // first file is then created only where nothing is, and a name another
  // conversion took since it was chosen moves on to the next instead of
  // asking to overwrite. Unset, the name is the user's. Set while nothing
  // records.
  void set_next_free_name(std::function<std::string()> next_free_name) {
    next_free_name_ = std::move(next_free_name);
  }
  // Whether the output of the current (or last) conversion failed; cleared
  // when a conversion opens its first file.
  bool output_failed() const { return output_failed_.load(); }
  // Ends a conversion whose output failed: no further pass, the pass and
  // the codec's pass mode back to the first, and file_number moved on past
  // the name the failed file took (it may hold what was converted).
  void EndAfterFailure(const std::function<void()>& write_pass_mode);

  // After a pass is finished: in the first of two passes moves to pass 2 and
  // returns true (the caller records the same range again); otherwise
  // returns pass to 1, increments file_number and returns false. The codec
  // pass mode is written in either case through `write_pass_mode`.
  bool AdvancePass(const std::function<void()>& write_pass_mode);

  // The size of the file being written in megabytes (bytes × 2^-20); 0
  // when it can't be read.
  double OutputSizeMb() const;
  // The same in bytes (files beyond 4 GB included).
  int64_t OutputSizeBytes() const;

  // Every file the current conversion opened, first part first.
  const std::vector<std::string>& part_paths() const { return part_paths_; }

  bool recording() const { return engine_.capture_active(); }
  bool uses_threads() const { return processors_ >= 2; }
  EncodingEngine& engine() { return engine_; }

 private:
  // How many taken names a numbered output moves past before it gives up.
  static constexpr int kMaxNumberedTries = 1000;
  int ClaimNumberedOutput();
  // Opens the writer on the claimed output path; `existed`: the file was
  // there before the claim (so a failure leaves it).
  int OpenClaimedOutput(const std::string& path, bool further_part, bool existed);
  bool AskOverwrite(const std::string& path, const char* question) const;
  // Moves file_number on past the file just ended, and stores it.
  void CountFinishedFile();
  // Remembers which file `path` names now, for OutputVanished.
  void WatchOutputFile(const std::string& path);
  // Whether the path no longer names the file being written.
  bool OutputVanished(const std::string& path) const;
  void OnOutputFailed();
  EncodingEngine::Format EngineFormat() const;
  // The configuration the writer of the current file gets.
  OutputConfig PartConfig() const;
  void RemoveRateStats();

  // The user interface thread's settings; touched on that thread only.
  OutputConfig* settings_;
  // The settings of the pass being recorded: copied by OpenOutput of a
  // first part while nothing records, then read-only until the pass ends
  // (the capture thread opens further parts from it).
  OutputConfig output_;
  OutputFactory* factory_;
  int processors_;
  EncodingEngine engine_;

  // Written on the capture thread when a part begins, read by the user
  // interface thread for the progress display.
  mutable Mutex path_mutex_;
  std::string output_path_ OVC_GUARDED_BY(path_mutex_);
  std::string source_path_;
  OutputClaim claim_;  // on the file being written
  int part_number_ = 1;
  int first_pass_parts_ = 0;  // the parts the first of two passes wrote
  std::vector<std::string> part_paths_;
  // Two passes: the statistics file of the range, and the pictures the
  // parts before the current one took (the engine's count of each part).
  std::string rate_stats_path_;
  int64_t range_frames_ = 0;
  bool audio_enabled_ = true;
  // The writer; switched by NextOutputPart on the capture thread while the
  // engine holds its encoders off.
  std::unique_ptr<FileOutput> writer_;

  // The file being written, as opened: set where the writer is switched,
  // read by Produce (capture thread).
  bool watching_ = false;
  dev_t watched_device_ = 0;
  ino_t watched_inode_ = 0;

  std::function<void()> failure_listener_;
  std::function<void()> part_declined_listener_;
  std::function<void(bool open)> question_listener_;
  std::function<std::string()> next_free_name_;
  std::atomic<bool> output_failed_{false};
};

}  // namespace ovc
