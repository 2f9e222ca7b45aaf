#include "engine/record/recording_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/message_box.h"
#include "common/trace.h"
#include "common/translate.h"
#include "engine/record/dvd_output.h"
#include "engine/record/output_claim.h"
#include "engine/record/output_file_errors.h"
#include "engine/record/profile.h"
#include "engine/record/rate_stats.h"
#include "settings/settings_store.h"

namespace ovc {
namespace {

// The last number a generated PSP name can carry (five digits).
constexpr int kLastFileNumber = 99999;
// How far ahead another copy's stored number may be and still count as
// theirs rather than as one from before the numbers went round.
constexpr int kNumbersAhead = 1000;

// The leading decimal number of a text, like atoi.
int LeadingNumber(const std::string& text) { return std::atoi(text.c_str()); }

}  // namespace

ProfileRange ApplyProfile(const CProfile& profile, OutputConfig* output) {
  ProfileRange range;
  range.start = profile.ss;
  if (profile.t != 0) range.end = profile.ss + profile.t;

  // "320x240" (or "320X240"); without a leading number the size follows the
  // source: its width, and a height from the display aspect rounded down to
  // a multiple of 16 (Windows Media keeps the source height).
  const std::string& size = profile.s;
  size_t x = size.find('x');
  if (x == std::string::npos) x = size.find('X');
  if (!size.empty() && size[0] >= '0' && size[0] <= '9' && x != std::string::npos) {
    output->width = LeadingNumber(size);
    output->height = LeadingNumber(size.substr(x + 1));
  } else {
    output->width = output->source_width;
    if (profile.IsWindowsMedia() || output->aspect_x <= 0) {
      output->height = output->source_height;
    } else {
      output->height = output->width * output->aspect_y / output->aspect_x / 16 * 16;
    }
  }

  if (profile.IsWindowsMedia()) {
    output->wm_video_codec = profile.vcodec;
    output->wm_audio_codec = profile.acodec;
    output->wm_audio_format = profile.aformat;
  }
  output->video_bitrate = static_cast<float>(profile.b);
  output->out_frame_rate = profile.r;
  output->psp_profile = profile.device == "PSP";
  if (profile.device == "PSP") output->device_kind = kDevicePsp;
  else if (profile.device == "iPod") output->device_kind = kDeviceIpod;
  else if (profile.device == "webm") output->device_kind = kDeviceWebm;
  else if (profile.device == "av1") output->device_kind = kDeviceAv1;
  output->audio_bitrate = profile.ab;
  output->audio_output_freq = profile.ar;
  output->audio_channels = LeadingNumber(profile.ac);
  if (output->format == kFormatVob) FitDvdOutput(output);
  return range;
}

int WriteCodecPassMode(const OutputConfig& output, int n_pass, int pass, uint32_t fcc_handler) {
  return SetCodecPassMode(n_pass ? n_pass : output.n_pass, pass ? pass : output.pass,
                          fcc_handler ? fcc_handler : output.avi_codec.fcc_handler);
}

bool WritesPspFile(const OutputConfig& output) {
  bool mp4_family = output.format == kFormatMp4 || output.format > kFormatQuickTime;
  return mp4_family && output.device_kind == kDevicePsp;
}

bool NeedsResize(const OutputConfig& output, bool crop_is_whole_picture) {
  return output.width != output.source_width || output.height != output.source_height ||
         !crop_is_whole_picture || output.brightness_a != 0 || output.brightness_b != 1.0f;
}

RecordingSession::RecordingSession(OutputConfig* settings, OutputFactory* factory, int processors)
    : settings_(settings), output_(*settings), factory_(factory), processors_(processors) {
  engine_.set_failure_listener([this] { OnOutputFailed(); });
}

void RecordingSession::OnOutputFailed() {
  if (output_failed_.exchange(true)) return;
  if (failure_listener_) failure_listener_();
}

RecordingSession::~RecordingSession() {
  if (engine_.capture_active() || engine_.threads_running()) StopProducers();
  FinishOutput();
  RemoveRateStats();
}

OutputConfig RecordingSession::PartConfig() const {
  OutputConfig part = output_;
  part.rate_stats_path = output_.n_pass == 2 ? rate_stats_path_ : std::string();
  part.part_first_frame = range_frames_;
  return part;
}

void RecordingSession::RemoveRateStats() {
  RemoveRangeStats(rate_stats_path_);
  rate_stats_path_.clear();
}

EncodingEngine::Format RecordingSession::EngineFormat() const {
  return EncodingEngine::Format{output_.width, output_.height, output_.out_frame_rate,
                                output_.input_sample_rate, output_.input_channels};
}

bool RecordingSession::AskOverwrite(const std::string& path, const char* question) const {
  std::string text = path + " " + TranslateMessage(question);
  if (question_listener_) question_listener_(true);
  const MessageButton answer = ShowMessageBox(text, MessageKind::kConfirmation, kButtonsYesNo);
  if (question_listener_) question_listener_(false);
  return answer == kButtonYes;
}

int RecordingSession::OpenOutput(bool further_part) {
  const std::string path = output_path();
  if (!further_part) {
    part_number_ = 1;
    part_paths_.clear();
    output_ = *settings_;
    range_frames_ = 0;
    // The first of two passes starts the statistics afresh; the second
    // reads what the first wrote.
    if (output_.n_pass != 2 || output_.pass != 2) RemoveRateStats();
    if (output_.n_pass == 2 && rate_stats_path_.empty())
      rate_stats_path_ = NewRangeStatsPath(path);
  }
  // Nothing the conversion writes may be its own source, whatever the
  // user answers to overwriting.
  const std::string over_source =
      further_part ? (SameFile(source_path_, path) ? path : "")
                   : OutputThatIsTheSource(source_path_, path, WritesPspFile(output_));
  if (!over_source.empty()) {
    ShowMessageBox(OutputIsTheSourceText(over_source), MessageKind::kError, kButtonOk);
    return -1;
  }
  // The second of two passes rewrites the file its first pass made; asking
  // about that file again would only offer to throw the first pass away.
  bool second_pass = output_.n_pass == 2 && output_.pass == 2;
  const bool numbered_name = !further_part && !second_pass && next_free_name_;
  if (numbered_name) return ClaimNumberedOutput();
  const bool existed = PathExists(path);
  if (!further_part && !second_pass && existed &&
      !AskOverwrite(path, "already exists. Overwrite?"))
    return -1;
  // Another conversion writing the same file would leave neither playable.
  if (!claim_.Take(path) && errno == EWOULDBLOCK) {
    ShowMessageBox(path + " is being written by another conversion; choose another " +
                       "output folder or name",
                   MessageKind::kError, kButtonOk);
    return -1;
  }
  return OpenClaimedOutput(path, further_part, existed);
}

int RecordingSession::ClaimNumberedOutput() {
  // Other conversions (other copies of the program on the same folder)
  // number their files from the same place: the name is taken only by
  // creating it, and one somebody took meanwhile moves on to the next.
  for (int tries = 0; tries < kMaxNumberedTries; ++tries) {
    const std::string path = output_path();
    if (claim_.TakeNew(path)) return OpenClaimedOutput(path, false, false);
    if (errno != EEXIST) break;
    const std::string next = next_free_name_();
    if (next.empty() || next == path) break;
    TracePrintf("%s was taken meanwhile; %s instead", path.c_str(), next.c_str());
    set_output_path(next);
  }
  ShowMessageBox(output_path() + " cannot be created: " + std::strerror(errno) +
                     "; choose another output folder",
                 MessageKind::kError, kButtonOk);
  return -1;
}

int RecordingSession::OpenClaimedOutput(const std::string& path, bool further_part,
                                        bool existed) {
  if (!further_part) output_failed_ = false;
  audio_enabled_ = !(output_.n_pass == 2 && output_.pass == 1);
  // The PSP muxer fixes the time base at 29.97 or 14.985 frames per second;
  // the capture's frame grid (which takes the settings from here) must
  // match it or the file plays at the wrong speed.
  if (!further_part && WritesPspFile(output_)) {
    output_.out_frame_rate = output_.out_frame_rate > 15 ? 29.97 : 14.985;
    settings_->out_frame_rate = output_.out_frame_rate;
  }
  if (!further_part) engine_.Open(EngineFormat(), nullptr, audio_enabled_);
  writer_ = factory_->Open(PartConfig(), path, audio_enabled_);
  watching_ = false;
  if (!writer_) {
    if (!existed) unlink(path.c_str());  // the claim made it
    claim_.Release();
    return -1;
  }
  WatchOutputFile(path);
  part_paths_.push_back(path);
  if (!further_part) engine_.Open(EngineFormat(), writer_.get(), audio_enabled_);
  return 0;
}

int RecordingSession::NextOutputPart() {
  // A failed output ends the conversion; it does not go on in a new part.
  if (output_failed_) return -1;
  // The encoders finish what is queued and stay idle until the new part
  // is open; nothing is dropped at the boundary.
  engine_.HoldForSwitch();
  range_frames_ += engine_.video_frames();
  if (writer_) {
    writer_->Finish();
    writer_.reset();
  }
  claim_.Release();
  ++part_number_;
  const std::string path = PartPath(part_paths_.front(), part_number_);
  // Only a part the first of two passes wrote in this conversion is
  // rewritten without asking; any other file of that name is the user's.
  const bool first_pass_part = output_.n_pass == 2 && output_.pass == 2 &&
                               part_number_ <= first_pass_parts_;
  if (SameFile(source_path_, path)) {
    ShowMessageBox(OutputIsTheSourceText(path), MessageKind::kError, kButtonOk);
    engine_.ResumeAfterSwitch(nullptr);
    return -1;
  }
  if (!first_pass_part && PathExists(path) && !AskOverwrite(path, "already exits. Overwrite?")) {
    engine_.ResumeAfterSwitch(nullptr);
    // Nothing more would be written: the conversion ends here, the parts
    // before this one finished files.
    if (part_declined_listener_) part_declined_listener_();
    return -1;
  }
  unlink(path.c_str());
  set_output_path(path);
  int result = OpenOutput(true);
  engine_.ResumeAfterSwitch(writer_.get());
  // The part could not be made (the user was told why): the conversion
  // would go on writing nothing, so it ends like after a failed write.
  if (result != 0) OnOutputFailed();
  return result;
}

void RecordingSession::FinishOutput() {
  if (engine_.threads_running()) engine_.Stop();
  engine_.Open(EngineFormat(), nullptr, audio_enabled_);
  if (writer_) {
    writer_->Finish();
    writer_.reset();
  }
  claim_.Release();
}

void RecordingSession::StartProducers() {
  if (uses_threads()) engine_.StartThreads();
  else engine_.StartInline();
  WriteTraceLine("%%%%%%% bRecordingFirstSample=true");
}

void RecordingSession::StopProducers() {
  bool threads = engine_.threads_running();
  WriteTraceLine("StopRecording()");
  engine_.Stop();
  if (threads) WriteTraceLine("Thread stopped");
}

void RecordingSession::WatchOutputFile(const std::string& path) {
  struct stat info;
  watching_ = stat(path.c_str(), &info) == 0;
  watched_device_ = info.st_dev;
  watched_inode_ = info.st_ino;
}

bool RecordingSession::OutputVanished(const std::string& path) const {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT || errno == ENOTDIR;
  return info.st_dev != watched_device_ || info.st_ino != watched_inode_;
}

void RecordingSession::Produce(const uint8_t* frame, const int16_t* audio, int n) {
  if (frame && watching_ && !output_failed_ && OutputVanished(output_path())) {
    watching_ = false;
    const std::string path = output_path();
    TracePrintf("Output file %s is gone", path.c_str());
    ShowMessageBox(WriteFailureText(kWriteFailedWhat, path, ENOENT), MessageKind::kError,
                   kButtonOk, "Error");
    engine_.FailOutput();
  }
  if (uses_threads()) engine_.PushSample(frame, audio, n);
  else engine_.EncodeInline(frame, audio, n);
}

void RecordingSession::EndAfterFailure(const std::function<void()>& write_pass_mode) {
  RemoveRateStats();
  if (settings_->n_pass == 2) {
    settings_->pass = 1;
    if (write_pass_mode) write_pass_mode();
  }
  CountFinishedFile();
}

void RecordingSession::CountFinishedFile() {
  // PSP names have five digits: the number goes round after 99999.
  int next = settings_->file_number >= 0 && settings_->file_number < kLastFileNumber
                 ? settings_->file_number + 1
                 : 0;
  // Other copies of the program converting at the same time count too:
  // the stored number never goes back behind one of theirs.
  const int stored = ReadSettingInt("OutputConfig\\file_number", next);
  if (stored > next && stored - next < kNumbersAhead) next = stored;
  settings_->file_number = next;
  WriteSettingInt("OutputConfig", "file_number", settings_->file_number);
  TracePrintf("AvgFramesBuffered=%.2f", engine_.average_queue_length());
}

bool RecordingSession::AdvancePass(const std::function<void()>& write_pass_mode) {
  if (settings_->n_pass == 2 && settings_->pass == 1) {
    first_pass_parts_ = static_cast<int>(part_paths_.size());
    settings_->pass = 2;
    if (write_pass_mode) write_pass_mode();
    return true;
  }
  RemoveRateStats();
  if (settings_->n_pass == 2) {
    settings_->pass = 1;
    if (write_pass_mode) write_pass_mode();
  }
  CountFinishedFile();
  return false;
}

double RecordingSession::OutputSizeMb() const {
  return static_cast<double>(OutputSizeBytes()) / 1048576.0;
}

int64_t RecordingSession::OutputSizeBytes() const {
  struct stat info;
  if (stat(output_path().c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

}  // namespace ovc
