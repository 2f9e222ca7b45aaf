// The preview's picture and sound, and the small desktop services of the
// main window.

#include <QAudioDevice>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_world.h"
#include "ui/main/qt/audio_ring.h"
#include "ui/main/qt/dbus_screen_saver.h"
#include "ui/main/qt/file_filter.h"
#include "ui/main/qt/qt_audio_sink.h"
#include "ui/main/qt/qt_shell.h"
#include "ui/main/qt/qt_video_surface.h"

namespace ovc {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

std::vector<uint8_t> ReadAll(AudioRing& ring) {
  std::vector<uint8_t> out(64);
  out.resize(ring.Read(out.data(), out.size()));
  return out;
}

TEST(AudioRingTest, KeepsTheNewestWholeFramesWhenFull) {
  AudioRing ring;
  ring.Reset(8, 4);  // two frames of four bytes
  const auto first = Bytes({1, 1, 1, 1, 2, 2, 2, 2});
  ring.Write(first.data(), first.size());
  const auto third = Bytes({3, 3, 3, 3});
  ring.Write(third.data(), third.size());
  EXPECT_EQ(ReadAll(ring), Bytes({2, 2, 2, 2, 3, 3, 3, 3}));

  // Across the end of the buffer, and a block larger than the whole ring.
  const auto wide = Bytes({4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6});
  ring.Write(wide.data(), 4);
  std::vector<uint8_t> two(2);
  ASSERT_EQ(ring.Read(two.data(), 2), 2u);
  ring.Write(wide.data() + 4, 4);
  EXPECT_EQ(ReadAll(ring), Bytes({4, 4, 5, 5, 5, 5}));
  ring.Write(wide.data(), wide.size());
  EXPECT_EQ(ReadAll(ring), Bytes({5, 5, 5, 5, 6, 6, 6, 6}));
  ring.Write(first.data(), first.size());
  ring.Clear();
  EXPECT_EQ(ring.size(), 0u);
}

TEST(ScalePcmTest, ScalesSixteenAndEightBitSamples) {
  int16_t samples[3] = {1000, -2000, 32767};
  ScalePcm(reinterpret_cast<uint8_t*>(samples), sizeof samples, 16, 0.5);
  EXPECT_EQ(samples[0], 500);
  EXPECT_EQ(samples[1], -1000);
  EXPECT_EQ(samples[2], 16384);
  auto bytes = Bytes({128, 255, 0});
  ScalePcm(bytes.data(), bytes.size(), 8, 0.0);
  EXPECT_EQ(bytes, Bytes({128, 128, 128}));
  bytes = Bytes({200});
  ScalePcm(bytes.data(), bytes.size(), 8, 1.0);
  EXPECT_EQ(bytes[0], 200);
}

TEST(QtAudioSinkTest, WithoutASoundDeviceTheSoundIsRefusedHarmlessly) {
  QtAudioSink sink{QAudioDevice()};
  EXPECT_FALSE(sink.has_device());
  media::WaveFormat format;
  format.channels = 2;
  format.samples_per_sec = 48000;
  format.bits_per_sample = 16;
  format.block_align = 4;
  format.avg_bytes_per_sec = 192000;
  EXPECT_FALSE(sink.Open(format));
  const std::vector<uint8_t> block(4800, 7);
  sink.Play(block.data(), static_cast<int32_t>(block.size()));
  sink.SetVolume(0.5);
  sink.Flush();
  EXPECT_EQ(sink.queued(), 0u);
}

TEST(QtVideoSurfaceTest, PresentsPicturesScaledToTheWidget) {
  VideoWidget widget;
  widget.resize(64, 48);
  widget.show();
  // A 32 × 16 YUY2 picture, white on the left half, black on the right,
  // with padding at the end of every line.
  const int width = 32, height = 16, stride = width * 2 + 8;
  std::vector<uint8_t> yuy2(static_cast<size_t>(stride) * height, 0xee);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &yuy2[static_cast<size_t>(y) * stride + x * 2];
      p[0] = x < width / 2 ? 235 : 16;
      p[1] = 128;
    }
  media::VideoFrameView frame{yuy2.data(), width, height, stride, 1, 1};
  widget.surface()->Present(frame);
  const QImage latest = widget.surface()->Latest();
  ASSERT_EQ(latest.size(), QSize(64, 48));
  EXPECT_GT(qGray(latest.pixel(4, 24)), 240);
  EXPECT_LT(qGray(latest.pixel(60, 24)), 15);
  EXPECT_EQ(widget.surface()->presented(), 1);

  // A picture that can't be read is dropped.
  frame.stride = width;
  widget.surface()->Present(frame);
  EXPECT_EQ(widget.surface()->presented(), 1);
}

TEST(QtVideoSurfaceTest, TheSurfaceOutlivesItsWidget) {
  std::shared_ptr<QtVideoSurface> surface;
  {
    VideoWidget widget;
    surface = widget.surface();
  }
  std::vector<uint8_t> yuy2(8 * 4 * 2, 128);
  surface->Present(media::VideoFrameView{yuy2.data(), 8, 4, 16, 1, 1});
  EXPECT_EQ(surface->presented(), 1);
}

struct FilterCase {
  const char* name;
  const char* filter;
  const char* expected;
};
void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class OpenDialogNameFiltersTest : public testing::TestWithParam<FilterCase> {};

TEST_P(OpenDialogNameFiltersTest, Converts) {
  EXPECT_EQ(OpenDialogNameFilters(GetParam().filter), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, OpenDialogNameFiltersTest,
    testing::Values(
        FilterCase{"video_files",
                   "*.wmv; *.mpg;*.avi|*.wmv; *.mpg;*.avi|All files|*.*",
                   "*.wmv; *.mpg;*.avi (*.wmv *.WMV *.mpg *.MPG *.avi *.AVI);;All files (*)"},
        FilterCase{"single", "AVI|*.avi", "AVI (*.avi *.AVI)"},
        FilterCase{"no_patterns_dropped", "Nothing||MP4|*.mp4", "MP4 (*.mp4 *.MP4)"},
        FilterCase{"lone_description", "AVI|*.avi|Dangling", "AVI (*.avi *.AVI)"},
        FilterCase{"empty", "", ""}),
    [](const testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

TEST(DBusScreenSaverTest, WithoutASessionBusNothingIsHeldOff) {
  test::TempWorld world;
  world.SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + world.Path("no-bus"));
  DBusScreenSaver saver;
  saver.DisableScreenSaver();
  EXPECT_FALSE(saver.inhibited());
  saver.RestoreScreenSaver();
  EXPECT_FALSE(saver.inhibited());
}

TEST(QtShellTest, TellsAddressesFromPaths) {
  struct Case {
    const char* target;
    bool address;
  };
  for (const Case& c : {Case{"http://www.orvane.com/", true}, Case{"mailto:a@b.c", true},
                        Case{"x-scheme+1.0:thing", true}, Case{"/home/me/videos", false},
                        Case{"videos/a:b.avi", false}, Case{"C:/untitled", false},
                        Case{"1http://x", false}, Case{"", false}})
    EXPECT_EQ(LooksLikeAddress(c.target), c.address) << c.target;
}

}  // namespace
}  // namespace ovc
