#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transfer/psp_file_filter.h"
#include "transfer/title_cache.h"

namespace ovc {

// One entry of a listed folder.
struct FileListEntry {
  std::string name;  // as stored in the file system
  std::string path;  // folder + '/' + name
  bool is_folder = false;
  uint64_t size = 0;  // bytes; 0 for a folder or a file that can't be read
  QDateTime modified;
};

// The contents of one folder as a file list of the transfer window shows
// them: the entries the filter lets through (folders first), with the
// columns Name, Size, Title and Date Modified. Titles are read only
// when a row is painted, once per path (the list's title cache), and are
// forgotten when the list shows another folder.
class FileListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kNameColumn, kSizeColumn, kTitleColumn, kModifiedColumn, kColumns };

  FileListModel(FileListSide side, QObject* parent);

  FileListSide side() const { return side_; }

  // The filter's settings; take effect at the next reading.
  void SetFilter(PspVideoKind kind, bool thumbnails_hidden);
  // What the Title column reads a file's title with; without one the
  // column shows a single space.
  void SetTitleReader(TitleReader reader) { reader_ = std::move(reader); }
  // Called after the list changed to another folder.
  void SetRootChangedHook(std::function<void()> hook) { root_changed_ = std::move(hook); }

  // Shows a folder: reads it afresh (also when it is the folder shown now).
  // Returns false and leaves the list as it is when `folder` is not a
  // folder that can be read. Moving to another folder empties the title
  // cache and then calls the root-changed hook.
  bool SetFolder(const std::string& folder);
  // Reads the folder shown now again. Titles of files whose size or time
  // changed are read again; those of the others stay cached.
  void Reread();
  // Shows nothing (no folder).
  void ShowNothing();
  const std::string& folder() const { return folder_; }
  // The names of the MP4 videos of the folder that the filter hides
  // (IsUnlistedVideo), in name order.
  const std::vector<std::string>& unlisted_videos() const { return unlisted_; }

  const FileListEntry& entry(int row) const { return entries_[static_cast<size_t>(row)]; }
  int entryCount() const { return static_cast<int>(entries_.size()); }
  // The row of a path, or -1.
  int RowOf(const std::string& path) const;
  // Every listed file (no folders), in list order.
  std::vector<std::string> FilePaths() const;

  // The title of a listed file as the Title column shows it (read once,
  // then taken from the cache).
  const std::string& Title(const std::string& path) const;

  TitleCache& titles() { return titles_; }
  const TitleCache& titles() const { return titles_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  void sort(int column, Qt::SortOrder order) override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

 private:
  bool ReadFolder(const std::string& folder, std::vector<FileListEntry>* entries,
                  std::vector<std::string>* unlisted) const;
  void SortEntries(std::vector<FileListEntry>* entries) const;
  const std::string& TitleOf(const FileListEntry& entry) const;

  FileListSide side_;
  PspVideoKind kind_ = PspVideoKind::kMpeg4;
  bool thumbnails_hidden_ = true;
  TitleReader reader_;
  std::function<void()> root_changed_;
  std::string folder_;
  std::vector<FileListEntry> entries_;
  std::vector<std::string> unlisted_;
  int sort_column_ = kNameColumn;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  // Filled as rows are painted, hence mutable.
  mutable TitleCache titles_;
  QIcon folder_icon_;
  QIcon file_icon_;
};

}  // namespace ovc
