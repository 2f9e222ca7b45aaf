#include "long/output_marks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/clip_reader.h"
#include "support/command_output.h"

namespace ovc::test {
namespace {

// A click lies this close to its whole second of the source (seconds),
// judged by the picture shown with it.
constexpr double kClickNearSecond = 0.1;

}  // namespace

std::string ReadMarks(const std::string& path, OutputMarks* marks,
                      std::vector<LevelWindow>* windows) {
  *marks = OutputMarks{};
  DecodedClip clip;
  if (std::string error = ReadClip(path, &clip); !error.empty()) return error;
  if (clip.picture_times.empty()) return "no pictures";
  if (clip.audio.empty() || clip.channels <= 0 || clip.sample_rate <= 0) return "no sound";
  marks->picture_times = std::move(clip.picture_times);
  marks->frame_numbers = std::move(clip.frame_numbers);
  marks->frame_rate = clip.frame_rate;
  marks->audio_start = clip.audio_start;
  const int channels = clip.channels;
  const int rate = clip.sample_rate;
  marks->audio_frames = static_cast<int64_t>(clip.audio.size()) / channels;
  marks->audio_seconds = static_cast<double>(marks->audio_frames) / rate;
  for (int64_t click : FindClicks(clip.audio.data(), marks->audio_frames, channels, rate))
    marks->click_times.push_back(clip.audio_start + static_cast<double>(click) / rate);
  if (windows) {
    for (LevelWindow& window : *windows) {
      const auto index = [&](double t) {
        return std::clamp<int64_t>(std::llround((t - clip.audio_start) * rate), 0,
                                   marks->audio_frames);
      };
      int peak = 0;
      for (int64_t i = index(window.from); i < index(window.to); ++i)
        peak = std::max(peak, std::abs(static_cast<int>(clip.audio[i * channels])));
      window.peak = peak / 32767.0;
    }
  }
  return "";
}

double VideoSeconds(const OutputMarks& marks) {
  return marks.frame_rate > 0 ? marks.picture_times.size() / marks.frame_rate : 0;
}

std::vector<SecondMark> MatchSeconds(const OutputMarks& marks, const ClipRecipe& source) {
  std::vector<SecondMark> seconds;
  const double period = marks.frame_rate > 0 ? 1 / marks.frame_rate : 0;
  const std::vector<double>& times = marks.picture_times;
  for (double click : marks.click_times) {
    // The picture shown at the click.
    const auto shown = std::lower_bound(times.begin(), times.end(), click - period / 2);
    if (shown == times.end()) continue;
    const int number = marks.frame_numbers[shown - times.begin()];
    if (number < 0) continue;
    // The click's moment on the source's time line, by that picture.
    const double at = FrameStartSeconds(source, number) + (click - *shown);
    SecondMark mark;
    mark.second = static_cast<int>(std::lround(at));
    // A burst away from every whole second is no click: where a file's or a
    // stretch's sound starts, the coding's first block rings.
    if (std::abs(at - mark.second) > kClickNearSecond) continue;
    mark.click_time = click;
    int flash_number = 0;
    while (FrameStartSeconds(source, flash_number) < mark.second - 1e-9) ++flash_number;
    const double source_offset = FrameStartSeconds(source, flash_number) - mark.second;
    const auto from = std::lower_bound(times.begin(), times.end(), click - 2);
    const auto to = std::upper_bound(times.begin(), times.end(), click + 2);
    for (auto it = from; it != to; ++it) {
      const size_t k = it - times.begin();
      if (marks.frame_numbers[k] < flash_number) continue;
      // The flash counts where this file shows it first: not when the file
      // begins past it (it was shown in the part before).
      const bool first_shown_here = k > 0 ? marks.frame_numbers[k - 1] < flash_number
                                          : marks.frame_numbers[k] == flash_number &&
                                                flash_number == 0;
      if (first_shown_here) {
        mark.flash_found = true;
        mark.offset = *it - click - source_offset;
      }
      break;
    }
    seconds.push_back(mark);
  }
  return seconds;
}

std::string SummariseParts(const std::vector<std::string>& paths, const ClipRecipe& source,
                           PartsSummary* summary) {
  *summary = PartsSummary{};
  for (const std::string& path : paths) {
    OutputMarks marks;
    if (std::string error = ReadMarks(path, &marks); !error.empty()) return path + ": " + error;
    PartFigures part;
    part.path = path;
    part.pictures = static_cast<int>(marks.picture_times.size());
    part.video_seconds = VideoSeconds(marks);
    part.probed_seconds = std::atof(ProbeEntry(path, "v:0", "stream=duration").c_str());
    part.sound_end = marks.audio_start + marks.audio_seconds;
    part.audio_seconds = marks.audio_seconds;
    summary->parts.push_back(part);
    summary->frame_numbers.insert(summary->frame_numbers.end(), marks.frame_numbers.begin(),
                                  marks.frame_numbers.end());
    for (const SecondMark& mark : MatchSeconds(marks, source)) {
      summary->heard.insert(mark.second);
      if (mark.flash_found) summary->offsets[mark.second] = mark.offset;
    }
  }
  return "";
}

}  // namespace ovc::test
