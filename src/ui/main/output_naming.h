#pragma once

#include <cstddef>
#include <string>

#include "ui/dialogs/output_path_rules.h"

namespace ovc {

// The extension of a container code when the profile names none: "avi" for
// 0 and 3, "wmv" for 1, "mpg" for 4, "mp4" for every other code.
const char* ContainerExtension(int format);

// The extension an output file takes: the profile's `fileext` (a leading dot
// dropped) when it is a plain extension, else ContainerExtension(format). A
// `fileext` holding '/', a control character, or more than 15 bytes could
// name another folder or no usable file, and is not used.
std::string OutputExtension(const std::string& fileext, int format);

// The file name an output path takes when it has no file part yet:

// The name a PSP lists a video under: "M4V%05d.MP4" for MPEG-4 video,
// "MAQ%05d.MP4" for H.264.
std::string PspFileName(bool h264, int number);

// The first number from `first` on (a number outside 0..99999 counts as 0),
// going round from 99999 to 0, for which neither the PSP file name nor its
// ".THM" exists in `folder` (any kind of entry counts, a dangling link too).
// `first` itself when every number is taken.
int FirstFreePspNumber(const std::string& folder, bool h264, int first);

// The source's title: its file name (after the last '/') without the part
// from its last '.' on. A name whose only '.' is its first character (a
// hidden file) is kept whole. "" when the path holds no '/'.
std::string SourceTitle(const std::string& source_path);

// What the output path becomes when the source is named `source_path`.
struct OutputNaming {
  int format = 0;             // the container code
  bool psp_file = false;      // an MP4 file for the PSP: named by number
  bool h264 = false;          // the PSP file holds H.264 video
  std::string fileext;        // the profile's extension, may be empty
  int file_number = 0;        // where the PSP numbering starts
  // The file name the user chose ("" for none): it names a file that is not
  // for the PSP instead of the source's title.
  std::string chosen_name;
};
struct DerivedOutput {
  std::string title;     // the source's title
  std::string path;      // the new output path
  int file_number = 0;   // the PSP number used (the input's when not PSP)
};

// `name` ending in "." and `extension` (either case); `name` with it added
// when it does not.
std::string NameWithExtension(const std::string& name, const std::string& extension);

// Derives the output path from the source path: the output path's folder
// (everything up to its last '/') and, for a PSP file, the first free PSP
// name from `file_number` on, otherwise the chosen name with the output
// extension (NameWithExtension; no source is needed then) or the source's
// title, a '.' and the output extension. The title is cut (at a character boundary) so that the
// path stays within kMaxOutputPathBytes. False, with `out` untouched, when
// either path holds no '/', or the folder alone is too long for a path.
bool DeriveOutputPath(const std::string& source_path, const std::string& output_path,
                      const OutputNaming& naming, DerivedOutput* out);

// The output path for a new folder text: the text with one trailing '/'
// removed, then the file part of `output_path` (from its last '/' on) or,
// when it has none, "/" and UntitledFileName(format). An empty folder text
// stands for `home_folder`, so that a cancelled folder choice never sends
// the output to the file system's root.
std::string ComposedOutputPath(const std::string& folder_text, const std::string& output_path,
                               int format, const std::string& home_folder);

}  // namespace ovc
