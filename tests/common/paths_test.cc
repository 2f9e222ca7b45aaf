#include "common/paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_world.h"

namespace ovc {
namespace {

TEST(Paths, FoldersFollowTheEnvironment) {
  test::TempWorld world;
  EXPECT_EQ(ProgramFolder(), world.home());
  EXPECT_EQ(TempFolder(), world.temp());

  world.SetEnv("OVC_HOME", "");
  world.SetEnv("HOME", "/home/someone/");
  world.SetEnv("XDG_DATA_HOME", "");
  EXPECT_EQ(ProgramFolder(), "/home/someone/.local/share/orvane-video-converter");
  world.SetEnv("XDG_DATA_HOME", "/data/");
  EXPECT_EQ(ProgramFolder(), "/data/orvane-video-converter");

  world.SetEnv("OVC_TEMP", "");
  world.SetEnv("TMPDIR", "/scratch");
  EXPECT_EQ(TempFolder(), "/scratch");
}

TEST(Paths, FolderOfCutsAtTheLastSlash) {
  EXPECT_EQ(FolderOf("/a/b.c/d.mp4"), "/a/b.c");
  EXPECT_EQ(FolderOf("name"), "");
  EXPECT_EQ(FolderOf("/x"), "");
}

TEST(Paths, ProgramFolderIsSeededWithoutOverwritingUserFiles) {
  test::TempWorld world;
  std::string shipped = ShippedDataFolder();
  ASSERT_FALSE(shipped.empty()) << "the build tree's data folder is missing";
  ASSERT_TRUE(std::filesystem::exists(shipped + "/lang_eng.txt"));

  world.SetEnv("OVC_HOME", world.Path("fresh/program"));
  test::WriteFile(world.Path("fresh/program/lang_eng.txt"), "mine");
  ASSERT_EQ(PrepareProgramFolder(), 0);
  EXPECT_EQ(test::ReadFile(world.Path("fresh/program/lang_eng.txt")), "mine");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(shipped)) {
    auto relative = entry.path().lexically_relative(shipped);
    EXPECT_TRUE(std::filesystem::exists(world.Path("fresh/program") / relative)) << relative;
  }

  world.SetEnv("OVC_HOME", "/proc/cannot/create");
  EXPECT_EQ(PrepareProgramFolder(), -1);
}

}  // namespace
}  // namespace ovc
