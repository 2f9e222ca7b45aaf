#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace ovc {

// Reads the title of a file for a list's title column (ReadMp4Title).
using TitleReader = std::function<std::string(const std::string& path)>;

// The titles one file list has shown, by full path. A list asks for its
// columns every time it paints; reading an MP4 file each time would be
// slow, so each path is read once and kept until the list's folder changes.
class TitleCache {
 public:
  // The cached title of a path; otherwise read with `reader` (a single space
  // when there is none) and cached.
  const std::string& TitleFor(const std::string& path, const TitleReader& reader);
  // The cached title, if the path has been read.
  std::optional<std::string> Find(const std::string& path) const;
  // Forgets one path, so that its next showing reads the file again (after
  // its title was changed).
  void RemoveCache(const std::string& path);
  // Forgets everything: the list now shows another folder.
  void Clear();
  size_t size() const { return titles_.size(); }

 private:
  std::map<std::string, std::string> titles_;
};

// What the title editor shows for the selection of a list.
struct TitleEditorState {
  bool enabled = false;    // the labels, the file name, the edit and "Change Video Title"
  std::string path;        // the file a title change goes to
  std::string file_name;   // after the last '/'
  std::string title;       // from the list's cache, "" when not cached
};

// The editor for a selection change: `index` is the selected item's index,
// or -1 when the item was deselected. Only ".mp4" files (any case) can be
// edited. Traces "idx=%d" for a selected item.
TitleEditorState TitleEditorForSelection(int index, const std::string& full_path,
                                         const TitleCache& cache);

}  // namespace ovc
