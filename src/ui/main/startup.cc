#include "ui/main/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "common/trace.h"
#include "platform/registry/reg_file_import.h"
#include "settings/setting_rules.h"
#include "settings/settings_store.h"
#include "settings/settings_table.h"

namespace ovc {
namespace {

const SettingRow& Row(const char* group, const char* name) { return *FindSetting(group, name); }

int ReadInt(const char* group, const char* name) { return ReadSettingInt(Row(group, name)); }
double ReadReal(const char* group, const char* name) { return ReadSettingReal(Row(group, name)); }

}  // namespace

void ImportStartupRegFiles(const std::string& folder) {
  for (const char* name : {"codec.reg", "url.reg"}) {
    std::string path = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (access(path.c_str(), R_OK) == 0) registry::ImportRegFile(path);
  }
}

void LoadSettings(OutputConfig* output, StartupSettings* settings) {
  *output = OutputConfig{};
  *settings = StartupSettings{};
  settings->dbg = ReadInt("", "dbg");
  settings->adjust_speed = ReadInt("", "adjust_speed");
  output->format = ReadInt("OutputConfig", "format");
  output->auto_stretch = ReadInt("OutputConfig", "auto_stretch") != 0;
  output->n_pass = ReadInt("OutputConfig", "n_pass");
  output->pass = 1;
  output->out_frame_rate = ReadReal("OutputConfig", "OutputFrameRate");
  output->audio_volume = static_cast<int>(ReadReal("OutputConfig", "AudioVolume"));
  output->disable_screensaver = ReadInt("OutputConfig", "disable_screensaver");
  output->vc_aspect = ReadInt("OutputConfig", "vc_aspect");
  output->brightness_a = ReadInt("OutputConfig", "brightness_a");
  output->brightness_b = static_cast<float>(ReadReal("OutputConfig", "brightness_b"));
  settings->output_path =
      OutputPathForFormat(ReadSettingText(Row("OutputConfig", "LastOutput")), output->format);
  output->width = ReadInt("OutputConfig", "Width");
  output->height = ReadInt("OutputConfig", "Height");
  output->video_bitrate = static_cast<float>(ReadInt("OutputConfig", "VideoBitRate"));
  output->left_right_channel = ReadInt("OutputConfig", "left_right_channel");
  output->audio_quality_level = ReadInt("OutputConfig", "audio_quality_level");
  output->audio_sampling = ReadInt("OutputConfig", "AudioSampling");
  output->stereo = ReadInt("OutputConfig", "stereo");
  output->split_size = ReadInt("OutputConfig", "Volume");
  output->output_size = static_cast<float>(
      OutputSizeFromStored(ReadReal("OutputConfig", "output_size")));
  output->avi_codec.name = ReadSettingText(Row("OutputConfig", "VideoCodec"));
  output->avi_codec.fcc_handler = static_cast<uint32_t>(ReadInt("OutputConfig", "fcc_handler"));
  output->avi_codec.fcc_type = static_cast<uint32_t>(ReadInt("OutputConfig", "fcc_type"));
  output->file_number = ReadSettingInt("OutputConfig\\file_number", 0);

  output->audio_output_freq = SamplingRateFromCode(output->audio_sampling);
  output->audio_channels = ChannelsFromStereoCode(output->stereo);
  // Only one or two passes exist; a stored 0 or 7 would leave the pass
  // logic without an end.
  if (output->n_pass != 2) output->n_pass = 1;

  SetCodecPassMode(output->n_pass, output->pass, output->avi_codec.fcc_handler);
  WriteSettingText("", "Version", kProgramVersion);
}

SystemFacts ProbeSystem() {
  SystemFacts facts;
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    auto value = [&line]() -> std::string {
      size_t colon = line.find(':');
      size_t begin = colon == std::string::npos ? colon : line.find_first_not_of(" \t", colon + 1);
      return begin == std::string::npos ? std::string() : line.substr(begin);
    };
    if (facts.processor_name.empty() && line.rfind("model name", 0) == 0) facts.processor_name = value();
    if (facts.mhz == 0 && line.rfind("cpu MHz", 0) == 0) facts.mhz = std::atoi(value().c_str());
  }
  TracePrintf("Processor: %d MHz  %s", facts.mhz, facts.processor_name.c_str());
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  facts.processors = online > 0 ? static_cast<int>(online) : 1;
  TracePrintf("Number of Processors : %d", facts.processors);
  long page = sysconf(_SC_PAGESIZE);
  long pages = sysconf(_SC_PHYS_PAGES);
  if (page > 0 && pages > 0) facts.total_memory_mb = (static_cast<int64_t>(page) * pages) >> 20;
  std::ifstream meminfo("/proc/meminfo");
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) == 0)
      facts.available_memory_mb = std::atoll(line.c_str() + std::strlen("MemAvailable:")) >> 10;
  }
  TracePrintf("Total physical memory: %dMB", static_cast<int>(facts.total_memory_mb));
  TracePrintf("Available physical memory: %dMB", static_cast<int>(facts.available_memory_mb));
  return facts;
}

void LimitTraceFileSize() {
  struct stat info;
  std::string path = TraceLogPath();
  if (stat(path.c_str(), &info) != 0) path = ProgramFolder() + "/" + kCompanyWord + ".elog";
  if (stat(path.c_str(), &info) == 0 && info.st_size > 524288) unlink(path.c_str());
}

bool ParseWindowSize(const std::string& text, int* left, int* top, int* width, int* height) {
  std::istringstream in(text);
  int values[4];
  for (int& value : values)
    if (!(in >> value)) return false;
  std::string rest;
  if (in >> rest) return false;
  *left = values[0];
  *top = values[1];
  *width = values[2];
  *height = values[3];
  return true;
}

}  // namespace ovc
