// The H.263 level of a 3GP file's sample description is rewritten in place,
// and nothing else is.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "engine/record/d263_level.h"
#include "support/temp_world.h"

namespace ovc {
namespace {

std::string Box(const std::string& type, const std::string& body) {
  const size_t size = body.size() + 8;
  std::string box;
  for (int shift : {24, 16, 8, 0}) box += static_cast<char>((size >> shift) & 0xFF);
  return box + type + body;
}

// d263: vendor "FFMP", decoder version 0, level 10, profile 0.
const std::string kD263 = Box("d263", std::string("FFMP\0\x0A\0", 7));
const std::string kMoov =
    Box("moov", Box("trak", Box("stsd", std::string(8, '\0') + Box("s263", std::string(28, 'x') + kD263))));
const std::string kMdat = Box("mdat", std::string(40, 'd') + "d263");  // look-alike in the data

struct Case {
  const char* name;
  std::string file;
  int result;
};

TEST(D263Level, OnlyTheLevelByteOfTheMoovsBoxChanges) {
  const Case cases[] = {
      {"moov after mdat", Box("ftyp", "3gp4") + kMdat + kMoov, 0},
      {"moov first", Box("ftyp", "3gp4") + kMoov + kMdat, 0},
      {"no d263", Box("ftyp", "3gp4") + kMdat + Box("moov", Box("trak", "")), -1},
      {"no moov", Box("ftyp", "3gp4") + kMdat, -1},
      {"cut short", Box("ftyp", "3gp4") + kMoov.substr(0, 20), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempWorld world;
    const std::string path = world.Path("clip.3gp");
    std::ofstream(path, std::ios::binary) << c.file;
    EXPECT_EQ(WriteD263Level(path, 45), c.result);
    std::string expected = c.file;
    if (c.result == 0) {
      const size_t at = expected.find(kD263, expected.find("moov"));
      expected[at + 8 + 4 + 1] = 45;
    }
    EXPECT_EQ(test::ReadFile(path), expected);
  }
}

}  // namespace
}  // namespace ovc
