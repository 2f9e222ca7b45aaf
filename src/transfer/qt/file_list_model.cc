#include "transfer/qt/file_list_model.h"

#include <QFile>
#include <QFileIconProvider>
#include <QLocale>
#include <QMimeData>
#include <QSet>
#include <QUrl>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>

#include "transfer/psp_space.h"

namespace ovc {

namespace {

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

QString FileNameText(const std::string& name) {
  return QFile::decodeName(QByteArray::fromStdString(name));
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

FileListModel::FileListModel(FileListSide side, QObject* parent)
    : QAbstractTableModel(parent), side_(side) {
  QFileIconProvider icons;
  folder_icon_ = icons.icon(QAbstractFileIconProvider::Folder);
  file_icon_ = icons.icon(QAbstractFileIconProvider::File);
}

void FileListModel::SetFilter(PspVideoKind kind, bool thumbnails_hidden) {
  kind_ = kind;
  thumbnails_hidden_ = thumbnails_hidden;
}

bool FileListModel::ReadFolder(const std::string& folder, std::vector<FileListEntry>* entries,
                               std::vector<std::string>* unlisted) const {
  if (folder.empty()) return false;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return false;
  entries->clear();
  unlisted->clear();
  while (const dirent* item = readdir(dir.get())) {
    std::string name = item->d_name;
    // Hidden entries (and "." and "..") are not shown, as in a file manager;
    // they include the temporary files of a copy in progress.
    if (name.empty() || name[0] == '.') continue;
    FileListEntry entry;
    entry.name = name;
    entry.path = Join(folder, name);
    struct stat info;
    bool known = stat(entry.path.c_str(), &info) == 0;
    entry.is_folder = known && S_ISDIR(info.st_mode);
    if (!IsListedEntry(side_, entry.path, entry.is_folder, kind_, thumbnails_hidden_)) {
      if (!entry.is_folder && IsUnlistedVideo(entry.path, kind_)) unlisted->push_back(name);
      continue;
    }
    if (known) {
      if (!entry.is_folder) entry.size = static_cast<uint64_t>(info.st_size);
      entry.modified = QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec);
    }
    entries->push_back(std::move(entry));
  }
  SortEntries(entries);
  std::sort(unlisted->begin(), unlisted->end());
  return true;
}

const std::string& FileListModel::TitleOf(const FileListEntry& entry) const {
  static const std::string kNoTitle;
  if (entry.is_folder) return kNoTitle;
  return titles_.TitleFor(entry.path, reader_);
}

const std::string& FileListModel::Title(const std::string& path) const {
  return titles_.TitleFor(path, reader_);
}

void FileListModel::SortEntries(std::vector<FileListEntry>* entries) const {
  auto less = [this](const FileListEntry& a, const FileListEntry& b) {
    if (a.is_folder != b.is_folder) return a.is_folder;  // folders first, either order
    int order = 0;
    switch (sort_column_) {
      case kSizeColumn: order = a.size < b.size ? -1 : a.size > b.size ? 1 : 0; break;
      case kTitleColumn:
        order = QString::fromStdString(TitleOf(a))
                    .compare(QString::fromStdString(TitleOf(b)), Qt::CaseInsensitive);
        break;
      case kModifiedColumn:
        order = a.modified < b.modified ? -1 : b.modified < a.modified ? 1 : 0;
        break;
      default: break;
    }
    if (order == 0)
      order = FileNameText(a.name).compare(FileNameText(b.name), Qt::CaseInsensitive);
    if (order == 0) order = a.name.compare(b.name);
    return sort_order_ == Qt::AscendingOrder ? order < 0 : order > 0;
  };
  std::stable_sort(entries->begin(), entries->end(), less);
}

bool FileListModel::SetFolder(const std::string& folder) {
  std::vector<FileListEntry> entries;
  std::vector<std::string> unlisted;
  if (!ReadFolder(folder, &entries, &unlisted)) return false;
  bool moved = folder != folder_;
  beginResetModel();
  if (moved) {
    titles_.Clear();
  } else {
    // The same folder again: keep the titles of files that did not change.
    std::map<std::string, const FileListEntry*> now;
    for (const FileListEntry& entry : entries) now[entry.path] = &entry;
    for (const FileListEntry& old : entries_) {
      auto found = now.find(old.path);
      if (found == now.end() || found->second->size != old.size ||
          found->second->modified != old.modified)
        titles_.RemoveCache(old.path);
    }
  }
  folder_ = folder;
  entries_ = std::move(entries);
  unlisted_ = std::move(unlisted);
  endResetModel();
  if (moved && root_changed_) root_changed_();
  return true;
}

void FileListModel::Reread() {
  if (folder_.empty()) return;
  if (!SetFolder(folder_)) {
    // The folder went away (the stick was pulled): show it empty.
    beginResetModel();
    entries_.clear();
    unlisted_.clear();
    titles_.Clear();
    endResetModel();
  }
}

void FileListModel::ShowNothing() {
  bool moved = !folder_.empty();
  beginResetModel();
  folder_.clear();
  entries_.clear();
  unlisted_.clear();
  titles_.Clear();
  endResetModel();
  if (moved && root_changed_) root_changed_();
}

int FileListModel::RowOf(const std::string& path) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].path == path) return static_cast<int>(i);
  return -1;
}

std::vector<std::string> FileListModel::FilePaths() const {
  std::vector<std::string> paths;
  for (const FileListEntry& entry : entries_)
    if (!entry.is_folder) paths.push_back(entry.path);
  return paths;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(entries_.size())) return QVariant();
  const FileListEntry& entry = entries_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case kNameColumn: return FileNameText(entry.name);
        case kSizeColumn:
          return entry.is_folder ? QString() : QString::fromStdString(FileSizeText(entry.size));
        case kTitleColumn: return QString::fromStdString(TitleOf(entry));
        case kModifiedColumn:
          return entry.modified.isValid()
                     ? QLocale().toString(entry.modified, QLocale::ShortFormat)
                     : QString();
      }
      break;
    case Qt::DecorationRole:
      if (index.column() == kNameColumn) return entry.is_folder ? folder_icon_ : file_icon_;
      break;
    case Qt::TextAlignmentRole:
      if (index.column() == kSizeColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
      break;
    case Qt::ToolTipRole:
      if (index.column() == kNameColumn) return FileNameText(entry.path);
      break;
  }
  return QVariant();
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return QVariant();
  if (role == Qt::TextAlignmentRole && section == kSizeColumn)
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
  if (role != Qt::DisplayRole) return QVariant();
  switch (section) {
    case kNameColumn: return QStringLiteral("Name");
    case kSizeColumn: return QStringLiteral("Size");
    case kTitleColumn: return QStringLiteral("Title");
    case kModifiedColumn: return QStringLiteral("Date Modified");
  }
  return QVariant();
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
  // Files travel between the lists; folders don't.
  if (!entries_[static_cast<size_t>(index.row())].is_folder) flags |= Qt::ItemIsDragEnabled;
  return flags;
}

void FileListModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= kColumns) return;
  beginResetModel();
  sort_column_ = column;
  sort_order_ = order;
  SortEntries(&entries_);
  endResetModel();
}

QStringList FileListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const {
  QSet<int> rows;
  QList<QUrl> urls;
  for (const QModelIndex& index : indexes) {
    if (!index.isValid() || rows.contains(index.row())) continue;
    rows.insert(index.row());
    const FileListEntry& entry = entries_[static_cast<size_t>(index.row())];
    if (!entry.is_folder) urls.push_back(QUrl::fromLocalFile(FileNameText(entry.path)));
  }
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

}  // namespace ovc
