// make-test-clip: writes a generated clip (frame numbers, a flash and a
// click every second) for the whole-program tests, the benchmarks and the
// sample conversion.
//
//   make-test-clip OUT [--seconds S] [--size WxH] [--fps N[/D]] [--rate HZ]
//                  [--channels N] [--container mp4|mkv|avi] [--no-audio]
//                  [--no-video] [--audio-start S] [--gap START:LENGTH]
//                  [--jump AT:SHIFT]... [--b-frames N]
//
// --jump moves the time stamps from AT seconds on by SHIFT seconds (negative:
// back); a clip with jumps is an MPEG transport stream.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/clip_generator.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: make-test-clip OUT [--seconds S] [--size WxH] [--fps N[/D]] [--rate HZ]\n"
               "                      [--channels N] [--container mp4|mkv|avi] [--no-audio]\n"
               "                      [--no-video] [--audio-start S] [--gap START:LENGTH]\n"
               "                      [--jump AT:SHIFT]... [--b-frames N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') return Usage();
  ovc::test::ClipRecipe clip_recipe;
  clip_recipe.seconds = 4;
  for (int i = 2; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--no-audio") {
      clip_recipe.has_audio = false;
      continue;
    }
    if (option == "--no-video") {
      clip_recipe.has_video = false;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (option == "--seconds") {
      clip_recipe.seconds = std::atof(value);
    } else if (option == "--size") {
      if (std::sscanf(value, "%dx%d", &clip_recipe.width, &clip_recipe.height) != 2) return Usage();
    } else if (option == "--fps") {
      clip_recipe.fps_den = 1;
      if (std::sscanf(value, "%d/%d", &clip_recipe.fps_num, &clip_recipe.fps_den) < 1) return Usage();
    } else if (option == "--rate") {
      clip_recipe.sample_rate = std::atoi(value);
    } else if (option == "--channels") {
      clip_recipe.channels = std::atoi(value);
    } else if (option == "--container") {
      if (!std::strcmp(value, "mp4")) clip_recipe.container = ovc::test::ClipContainer::kMp4;
      else if (!std::strcmp(value, "mkv")) clip_recipe.container = ovc::test::ClipContainer::kMkv;
      else if (!std::strcmp(value, "avi")) clip_recipe.container = ovc::test::ClipContainer::kAvi;
      else return Usage();
    } else if (option == "--b-frames") {
      clip_recipe.b_frames = std::atoi(value);
    } else if (option == "--audio-start") {
      clip_recipe.audio_start = std::atof(value);
    } else if (option == "--gap") {
      if (std::sscanf(value, "%lf:%lf", &clip_recipe.gap_start, &clip_recipe.gap_seconds) != 2) return Usage();
    } else if (option == "--jump") {
      ovc::test::ClipTimeJump jump;
      if (std::sscanf(value, "%lf:%lf", &jump.at, &jump.shift) != 2) return Usage();
      clip_recipe.time_jumps.push_back(jump);
    } else {
      return Usage();
    }
  }
  if (clip_recipe.seconds <= 0 || clip_recipe.width <= 0 || clip_recipe.height <= 0 || clip_recipe.fps_num <= 0 ||
      clip_recipe.fps_den <= 0 || clip_recipe.sample_rate <= 0 || clip_recipe.channels <= 0)
    return Usage();
  std::string error = ovc::test::WriteClip(argv[1], clip_recipe);
  if (!error.empty()) {
    std::fprintf(stderr, "make-test-clip: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
