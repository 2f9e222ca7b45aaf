#include "ui/main/source_facts.h"

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/rational.h>
}

namespace ovc {
namespace {

double Seconds(const AVFormatContext& context) {
  if (context.duration > 0) return static_cast<double>(context.duration) / AV_TIME_BASE;
  return 0;
}

std::string ChannelsText(int channels) {
  switch (channels) {
    case 1: return "mono";
    case 2: return "stereo";
    case 6: return "5.1";
    case 8: return "7.1";
    default: return std::to_string(channels) + " channels";
  }
}

}  // namespace

bool ReadSourceFacts(const std::string& path, SourceFacts* facts) {
  *facts = SourceFacts{};
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return false;
  const bool read = avformat_find_stream_info(context, nullptr) >= 0;
  if (read) {
    facts->seconds = Seconds(*context);
    const int video = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
      const AVStream* stream = context->streams[video];
      const AVCodecParameters* codec = stream->codecpar;
      facts->width = codec->width;
      facts->height = codec->height;
      AVRational pixel = av_guess_sample_aspect_ratio(context, context->streams[video], nullptr);
      if (pixel.num > 0 && pixel.den > 0 && codec->width > 0 && codec->height > 0) {
        AVRational shape;
        av_reduce(&shape.num, &shape.den, int64_t{codec->width} * pixel.num,
                  int64_t{codec->height} * pixel.den, 1 << 16);
        facts->aspect_x = shape.num;
        facts->aspect_y = shape.den;
      }
      const AVRational rate = av_guess_frame_rate(context, context->streams[video], nullptr);
      if (rate.num > 0 && rate.den > 0) facts->frames_per_second = av_q2d(rate);
    }
    const int audio = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
      const AVCodecParameters* codec = context->streams[audio]->codecpar;
      facts->has_sound = true;
      facts->sample_rate = codec->sample_rate;
      facts->channels = codec->ch_layout.nb_channels;
    }
  }
  avformat_close_input(&context);
  return read;
}

std::string SourceFactsText(const SourceFacts& facts) {
  std::string text;
  char part[96];
  if (facts.width > 0 && facts.height > 0) {
    std::snprintf(part, sizeof part, "%d \u00d7 %d", facts.width, facts.height);
    text += part;
    if (facts.aspect_x > 0 && facts.aspect_y > 0) {
      std::snprintf(part, sizeof part, " (%d:%d)", facts.aspect_x, facts.aspect_y);
      text += part;
    }
  } else {
    text += "no picture";
  }
  if (facts.frames_per_second > 0) {
    std::snprintf(part, sizeof part, "  %.4g fps", facts.frames_per_second);
    text += part;
  }
  if (facts.seconds > 0) {
    const long long whole = std::llround(facts.seconds);
    std::snprintf(part, sizeof part, "  %lld:%02lld:%02lld", whole / 3600, whole % 3600 / 60,
                  whole % 60);
    text += part;
  }
  if (facts.has_sound) {
    std::snprintf(part, sizeof part, "  sound %d Hz %s", facts.sample_rate,
                  ChannelsText(facts.channels).c_str());
    text += part;
  } else {
    text += "  no sound";
  }
  return text;
}

std::string CaptionForSource(const std::string& source_path, const std::string& product) {
  const size_t slash = source_path.rfind('/');
  const std::string name = slash == std::string::npos ? source_path : source_path.substr(slash + 1);
  return name.empty() ? product : name + " - " + product;
}

}  // namespace ovc
