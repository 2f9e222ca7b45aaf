// psp-title: shows or changes the title a PSP lists for an MP4 video.
//
//   psp-title FILE            prints the stored title
//   psp-title FILE "Title"    stores a new title
//
// Exit status: 0 done, 1 the file has no title or can't be read or written
// (the reason on standard error), 2 wrong usage.

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "transfer/mp4_title.h"
#include "transfer/utf16_text.h"

namespace {

constexpr char kUsage[] =
    "usage: psp-title FILE [TITLE]\n"
    "  Prints the title a PSP shows for the MP4 video FILE, or stores TITLE\n"
    "  as its new title (at most 255 characters; an empty title is stored as\n"
    "  a single space).\n";

int Fail(const char* file, ovc::Mp4TitleStatus status) {
  std::fprintf(stderr, "psp-title: %s: %s\n", file, ovc::Mp4TitleStatusText(status));
  return 1;
}

// Ctrl-C or a kill while a title is written must not leave the hidden copy
// of the video behind.
void OnStopSignal(int signal_number) {
  ovc::RemoveMp4TitleTemporary();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 2 || argc > 3 || argv[1][0] == '\0') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* file = argv[1];
  if (argc == 2) {
    std::u16string title;
    ovc::Mp4TitleStatus status = ovc::ReadMp4TitleText(file, &title);
    if (status != ovc::Mp4TitleStatus::kOk) return Fail(file, status);
    std::printf("%s\n", ovc::Utf16ToUtf8(title).c_str());
    return 0;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
  std::u16string title = ovc::Utf8ToUtf16(argv[2]);
  ovc::Mp4TitleStatus status = ovc::WriteMp4Title(file, title);
  if (status != ovc::Mp4TitleStatus::kOk) return Fail(file, status);
  if (title.size() > ovc::kMaxTitleUnits)
    std::fprintf(stderr, "psp-title: %s: the title was cut to %zu characters\n", file,
                 ovc::kMaxTitleUnits);
  return 0;
}
