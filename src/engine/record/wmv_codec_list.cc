#include "engine/record/wmv_codec_list.h"

#include <memory>

#include "common/trace.h"
#include "platform/wmf/wm_profile.h"

namespace ovc {
namespace {

constexpr char kAudioCodecPrefix[] = "Windows Media Audio 9";
constexpr char kFormatListEnd[] = "(A/V) CBR";
constexpr char kSkippedFormat[] = "24 bit";

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Creates a profile manager and counts the installed codecs of a kind;
// the failing result is traced and returned.
wmf::HResult CountCodecs(wmf::MajorType kind, std::unique_ptr<wmf::WmProfileManager>* manager,
                         uint32_t* count) {
  wmf::HResult hr = wmf::WMCreateProfileManager(manager);
  if (wmf::Failed(hr)) {
    TracePrintf("FAILED(hr=0x%x) in WMCreateProfileManager(&pProfileMgr)\n", hr);
    return hr;
  }
  hr = (*manager)->codec_info().GetCodecInfoCount(kind, count);
  if (wmf::Failed(hr) && kind == wmf::MajorType::kAudio)
    TracePrintf("FAILED(hr=0x%x) in pCodecInfo->GetCodecInfoCount(WMMEDIATYPE_Audio, &cCodecs)\n",
                hr);
  else if (wmf::Failed(hr))
    TracePrintf("FAILED(hr=0x%x) in pCodecInfo->GetCodecInfoCount(WMMEDIATYPE_Video, &cCodecs)\n",
                hr);
  return hr;
}

}  // namespace

wmf::HResult EnumerateWmAudioCodecs(const std::string& /*wanted_codec*/,
                                    const std::string& wanted_format, WmAudioCodecList* list) {
  using wmf::MajorType;
  *list = WmAudioCodecList{};
  std::unique_ptr<wmf::WmProfileManager> manager;
  uint32_t count = 0;
  wmf::HResult hr = CountCodecs(MajorType::kAudio, &manager, &count);
  if (wmf::Failed(hr)) return hr;
  wmf::WmCodecInfo& info = manager->codec_info();
  for (uint32_t codec = 0; codec < count; ++codec) {
    std::string name;
    if (wmf::Failed(hr = info.GetCodecName(MajorType::kAudio, codec, &name))) return hr;
    if (name.compare(0, sizeof kAudioCodecPrefix - 1, kAudioCodecPrefix) != 0) continue;

    list->codecs.push_back(name);
    list->codec_index = static_cast<int>(codec);
    if (wmf::Failed(hr = info.SetCodecEnumerationSetting(MajorType::kAudio, codec,
                                                         wmf::kVbrEnabledSetting, false))) {
      TracePrintf("FAILED(hr=0x%x) in pCodecInfo->SetCodecEnumerationSetting(_VBRENABLED)\n", hr);
      return hr;
    }
    uint32_t formats = 0;
    if (wmf::Failed(hr = info.GetCodecFormatCount(MajorType::kAudio, codec, &formats))) return hr;
    for (uint32_t format = 0; format < formats; ++format) {
      std::string description;
      hr = info.GetCodecFormatDesc(MajorType::kAudio, codec, format, nullptr, &description);
      if (wmf::Failed(hr)) return hr;
      if (Contains(description, kFormatListEnd)) break;
      if (Contains(description, kSkippedFormat)) continue;
      list->formats.push_back(description);
      // The codec's own number of the format: a skipped format before it
      // must not shift it.
      if (description == wanted_format) list->format_index = static_cast<int>(format);
    }
    break;
  }
  return wmf::kSOk;
}

wmf::HResult EnumerateWmVideoCodecs(const std::string& wanted_codec, WmVideoCodecList* list) {
  using wmf::MajorType;
  *list = WmVideoCodecList{};
  std::unique_ptr<wmf::WmProfileManager> manager;
  uint32_t count = 0;
  wmf::HResult hr = CountCodecs(MajorType::kVideo, &manager, &count);
  if (wmf::Failed(hr)) return hr;
  wmf::WmCodecInfo& info = manager->codec_info();
  for (uint32_t codec = 0; codec < count; ++codec) {
    std::string name;
    if (wmf::Failed(hr = info.GetCodecName(MajorType::kVideo, codec, &name))) return hr;
    list->codecs.push_back(name);
    if (name == wanted_codec) list->codec_index = static_cast<int>(codec);
  }
  return wmf::kSOk;
}

}  // namespace ovc
