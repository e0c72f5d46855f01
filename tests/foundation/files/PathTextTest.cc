#include <gtest/gtest.h>

#include "foundation/files/PathText.h"

namespace {

TEST(PathText, DirNameAndBaseNameFollowPosix) {
  struct Case {
    const char* path;
    const char* dir;
    const char* base;
  } cases[] = {
      {"a/b", "a", "b"}, {"a/b/", "a", "b"}, {"a//b", "a", "b"},
      {"a", ".", "a"},   {"/a", "/", "a"},   {"/", "/", "/"},
      {"///", "/", "/"}, {"", ".", ""},      {"/x/y.app/", "/x", "y.app"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(files::dirName(c.path), c.dir) << c.path;
    EXPECT_EQ(files::baseName(c.path), c.base) << c.path;
  }
}

}  // namespace
