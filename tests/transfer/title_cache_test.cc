#include "transfer/title_cache.h"

#include <gtest/gtest.h>

#include "support/temp_world.h"

namespace ovc {
namespace {

TEST(TitleCache, ReadsEachPathOnceUntilDropped) {
  TitleCache cache;
  int reads = 0;
  TitleReader reader = [&](const std::string& path) {
    ++reads;
    return "title of " + path + " #" + std::to_string(reads);
  };
  EXPECT_EQ(cache.TitleFor("/a.mp4", reader), "title of /a.mp4 #1");
  EXPECT_EQ(cache.TitleFor("/a.mp4", reader), "title of /a.mp4 #1");
  EXPECT_EQ(cache.TitleFor("/b.mp4", reader), "title of /b.mp4 #2");
  EXPECT_EQ(reads, 2);

  cache.RemoveCache("/a.mp4");
  cache.RemoveCache("/never-read.mp4");
  EXPECT_FALSE(cache.Find("/a.mp4"));
  EXPECT_EQ(cache.TitleFor("/a.mp4", reader), "title of /a.mp4 #3");
  EXPECT_EQ(*cache.Find("/b.mp4"), "title of /b.mp4 #2");

  cache.Clear();
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.TitleFor("/c.mp4", nullptr), " ");
}

TEST(TitleCache, EditorFollowsTheSelection) {
  test::TempWorld world;
  TitleCache cache;
  cache.TitleFor("/stick/M4V00001.MP4", [](const std::string&) { return "Holiday"; });

  TitleEditorState editor = TitleEditorForSelection(3, "/stick/M4V00001.MP4", cache);
  EXPECT_TRUE(editor.enabled);
  EXPECT_EQ(editor.path, "/stick/M4V00001.MP4");
  EXPECT_EQ(editor.file_name, "M4V00001.MP4");
  EXPECT_EQ(editor.title, "Holiday");

  editor = TitleEditorForSelection(4, "/stick/M4V00002.mp4", cache);
  EXPECT_TRUE(editor.enabled);
  EXPECT_EQ(editor.title, "");

  for (const auto& [index, path] : {std::pair{5, "/stick/M4V00002.THM"},
                                    std::pair{-1, "/stick/M4V00001.MP4"}}) {
    editor = TitleEditorForSelection(index, path, cache);
    EXPECT_FALSE(editor.enabled) << path;
    EXPECT_EQ(editor.title, "");
    EXPECT_EQ(editor.path, "");
  }
}

}  // namespace
}  // namespace ovc
