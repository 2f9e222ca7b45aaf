#include "common/translate.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace ovc {
namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

void TrimTrailing(std::string* text, const char* characters) {
  size_t end = text->find_last_not_of(characters);
  text->erase(end == std::string::npos ? 0 : end + 1);
}

}  // namespace

std::map<std::string, std::string> LoadTranslationTable(const std::string& path) {
  std::map<std::string, std::string> table;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return table;

  bool in_entry = false;
  std::string key;
  std::string text;
  auto finish_entry = [&] {
    if (!in_entry) return;
    TrimTrailing(&text, "\n\f");
    table[key] = text;
  };

  char buffer[1024];
  while (std::fgets(buffer, sizeof buffer, file.get())) {
    // A NUL inside the piece ends it, as it would for any C string reader.
    std::string piece(buffer, std::strlen(buffer));
    if (!piece.empty() && piece[0] == '@') {
      finish_entry();
      in_entry = true;
      key = piece.substr(1);
      TrimTrailing(&key, " \t\r\n");
      text.clear();
    } else if (in_entry) {
      text += '\n';
      text += piece;
    }
  }
  finish_entry();
  return table;
}

const char* TranslateMessage(const char* message) {
  static std::once_flag loaded;
  static std::map<std::string, std::string>* table = nullptr;
  std::call_once(loaded, [] {
    table = new std::map<std::string, std::string>(LoadTranslationTable("./lang_eng.txt"));
  });
  auto it = table->find(message);
  return it == table->end() ? message : it->second.c_str();
}

}  // namespace ovc
