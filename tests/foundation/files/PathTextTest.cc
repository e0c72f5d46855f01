#include <gtest/gtest.h>

#include <tuple>

#include "foundation/files/PathText.h"

namespace {

TEST(PathText, DirNameAndBaseNameFollowPosix) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"a/b", "a", "b"}, {"a/b/", "a", "b"}, {"a//b", "a", "b"},
      {"a", ".", "a"},   {"/a", "/", "a"},   {"/", "/", "/"},
      {"///", "/", "/"}, {"", ".", ""},      {"/x/y.app/", "/x", "y.app"},
  };
  for (const auto& [path, dir, base] : cases) {
    EXPECT_EQ(files::dirName(path), dir) << path;
    EXPECT_EQ(files::baseName(path), base) << path;
  }
}

}  // namespace
