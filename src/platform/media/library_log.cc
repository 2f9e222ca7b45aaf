#include "platform/media/library_log.h"

#include <atomic>
#include <cstdarg>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "common/trace.h"

namespace ovc::media {
namespace {

std::atomic<int> library_errors{0};

// Whether a message comes from reading the source: a demuxer or a decoder.
// An encoder's complaints (a rate control squeezed by hard content) say
// nothing about the source, and the writers report their own failures.
bool FromReading(void* context) {
  if (context == nullptr) return false;
  const AVClass* type = *static_cast<const AVClass**>(context);
  if (type == nullptr) return false;
  const AVClassCategory category =
      type->get_category ? type->get_category(context) : type->category;
  return category == AV_CLASS_CATEGORY_DEMUXER || category == AV_CLASS_CATEGORY_DECODER ||
         category == AV_CLASS_CATEGORY_INPUT;
}

void TraceLibraryLine(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING) return;
  if (level <= AV_LOG_ERROR && FromReading(context))
    library_errors.fetch_add(1, std::memory_order_relaxed);
  // A message may come in pieces; the prefix ("[mpeg @ 0x…] ") belongs to
  // the first piece of each line, which each thread tracks for itself.
  thread_local int print_prefix = 1;
  char line[1024];
  av_log_format_line2(context, level, format, arguments, line, sizeof line, &print_prefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (!text.empty()) WriteTraceLine("FFmpeg: " + text);
}

}  // namespace

void RouteLibraryLogToTrace() {
  av_log_set_level(AV_LOG_WARNING);
  av_log_set_callback(TraceLibraryLine);
}

int TakeLibraryErrorCount() { return library_errors.exchange(0); }

}  // namespace ovc::media
