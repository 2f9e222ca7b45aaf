#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovc {

// The folder that holds the profile files: <program folder>/profile.
std::string ProfileFolder();

// True when `name` can name a profile: not empty, not "." or "..", and free
// of NUL and control characters. Every other name is refused by
// CProfile::Load and CProfile::Save.
bool IsPlainProfileName(std::string_view name);

// The file that holds a profile, "<name>.pr" inside the profile folder, and
// back. A file name can't hold '/', so a '/' in a profile's name ("iPhone/
// iPad") stands as "%2F" in its file's name; every other character, '%'
// included, stands as itself, so names without a '/' keep the file names
// they always had. ProfileNameOfFile("a%2Fb.pr") is "a/b"; it is empty for
// a name that doesn't end in ".pr".
std::string ProfileFileName(std::string_view name);
std::string ProfileNameOfFile(std::string_view file_name);

// The writer's device kind (DeviceKind) a profile's "device" names: "PSP",
// "iPod", "phone", "hevc", "webm", "av1" (exactly so); none for any other.
std::optional<int> DeviceKindOf(std::string_view device);

// A named output preset for a device, kept as "<profile folder>/<name>.pr".
//
// File format: plain text, one setting per line,
//
//   key = value { choice, choice, ... }
//
// where the list is optional. Tokens are read left to right:
//  - white space and the separators '=', ',', '{' and '}' before a token are
//    skipped;
//  - a token that starts with '"' runs to the next '"' (or the end of the
//    line) and is taken verbatim, separators and spaces included;
//  - any other token runs to the next separator or the end of the line, the
//    separator is consumed and trailing white space is cut;
//  - empty tokens are skipped, except that a quoted "" right after the key
//    is an empty value (so an empty frame size with a list of sizes reads
//    back as an empty size and that list).
// The first token is the key, the second the value, the rest the choices; a
// line always replaces the field's whole choice list. A line that holds only
// a key, or an unknown key, changes nothing. Lines may be of any length; a
// NUL byte ends the line's text. Integers read like atoi (leading number,
// else 0, clamped to 32 bits); the frame rate reads as a C-locale real (0
// when it is not a finite number).
struct CProfile {
  std::string name;     // the file name without folder and ".pr"
  std::string device;   // "device": "PSP", "iPod", "mobile3gp" or empty
  std::string fileext;  // "fileext": extension of the output file
  int32_t t = 0;        // "t": length of the range to convert, s; 0 = not set
  int32_t ss = 0;       // "ss": start of the range, s; 0 = not set
  std::string vcodec;   // "vcodec": "xvid", "mpeg4", "h264", ... or a WM codec name
  std::vector<std::string> vcodec_choices;
  std::string s;        // "s": frame size "320x240"; empty = follow the source
  std::vector<std::string> s_choices;
  int32_t b = 0;        // "b": video bit rate, kbit/s
  std::vector<std::string> b_choices;
  double r = 0.0;       // "r": frame rate, frames per second
  std::vector<std::string> r_choices;
  std::string acodec;   // "acodec": "mp3", "aac", "amr_nb", "mpeg4aac", ... or a WM codec
  std::vector<std::string> acodec_choices;
  std::string aformat;  // "aformat": Windows Media audio format description
  std::vector<std::string> aformat_choices;
  int32_t ab = 0;       // "ab": audio bit rate, kbit/s
  std::vector<std::string> ab_choices;
  int32_t ar = 0;       // "ar": sampling rate, Hz
  std::vector<std::string> ar_choices;
  std::string ac;       // "ac": number of channels as text, "1" or "2"
  std::vector<std::string> ac_choices;
  int32_t an = 0;       // "an": read and kept, never written
  // "crf": constant quality (the encoder's CRF, 1..51; lower is better)
  // instead of the bit rate "b" (the player's level then caps the peaks);
  // 0: the bit rate rules. Profiles that offer it list their choices.
  int32_t crf = 0;
  std::vector<std::string> crf_choices;

  // The profile offers constant quality: it has a "crf" value or choices.
  bool OffersQuality() const { return crf > 0 || !crf_choices.empty(); }

  // Reads "<profile folder>/<profile_name>.pr": sets `name`, empties `device`
  // and `fileext`, then applies every line of the file (and, for a Windows
  // Media profile, rebuilds its audio choices). Returns 0; -1 when the name
  // is refused, the file can't be read (or isn't a regular file) or a value
  // it holds cannot drive a conversion (see Problem), in which case the
  // profile is left exactly as it was. In that last case *refusal, when
  // given, receives Problem()'s text; otherwise it is emptied.
  int Load(const std::string& profile_name, std::string* refusal = nullptr);

  // Empty when every value a conversion takes from the profile is usable;
  // otherwise the first that is not, as the text to show, e.g.
  //   Profile "X": frame rate "r" must be between 1 and 120 (it is "0")
  // Checked: frame size "s" (empty, or WxH with each side 16..4096), video
  // bit rate "b" (1..100000 kbit/s), frame rate "r" (1..120 frames per
  // second), constant quality "crf" (0..51) and, unless the profile is a
  // Windows Media one (whose audio comes from its format text), audio bit
  // rate "ab" (1..1536 kbit/s), sampling rate "ar" (8000..192000 Hz) and
  // channels "ac" (1 or 2).
  std::string Problem() const;

  // For a Windows Media profile: the audio codec and format choices become
  // those of the installed Windows Media audio codec, and the audio bit rate
  // the number at the start of the format text. Load does this itself.
  void RebuildWindowsMediaAudioChoices();

  // Writes the profile as "<profile folder>/<profile_name>.pr" (creating the
  // profile folder when missing), replacing any earlier file in one rename so
  // that a failed write never leaves half a profile behind. Returns 0, or -1
  // when the name is refused (nothing on disk is touched) or the file can't
  // be written. The profile's own `name` is not changed.
  int Save(const std::string& profile_name) const;

  // True when the video codec is a Windows Media codec: its name begins
  // with "WMV" or "Windows Media".
  bool IsWindowsMedia() const;

  // Applies every line of a profile text to this profile (the reading part of
  // Load, without touching `name`, `device` or `fileext` first).
  void ParseText(std::string_view text);

  // The file contents Save writes. Fixed layout: device, fileext, "t" and
  // "ss" (always 0), vcodec, s, b, r, then for a Windows Media profile only
  // acodec and aformat without lists, otherwise acodec, ac, ab and ar with
  // their lists; then "crf" with its list when the profile offers constant
  // quality; "an" is never written. A list is written as
  // { "a", "b" } and a line without choices simply ends after its value.
  // Characters a quoted value can't hold (the double quote, line feed and
  // NUL) are left out, and so are choices that end up empty.
  std::string ToText() const;

  bool operator==(const CProfile&) const = default;
};

}  // namespace ovc
