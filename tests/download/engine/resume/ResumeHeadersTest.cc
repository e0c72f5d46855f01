#include <gtest/gtest.h>

#include "download/engine/resume/ResumeHeaders.h"

namespace gde {
namespace {

ResumeHeaders::Map current() {
  return ResumeHeaders::build(10485760, 2097152, "\"abc\"", "http://h/f.bin", 0, 10485760);
}

TEST(ResumeHeadersTest, DescribesTheDownloadInDecimalText) {
  ResumeHeaders::Map map = current();
  EXPECT_EQ(map["FILE_SIZE"], "10485760");
  EXPECT_EQ(map["SEGMENT_SIZE"], "2097152");
  EXPECT_EQ(map["ETAG"], "\"abc\"");
  EXPECT_EQ(map["SERVER_PATH"], "http://h/f.bin");
  EXPECT_EQ(map["DOWNLOAD_START_ADDRESS"], "0");
  EXPECT_EQ(map["NO_Of_BYTES_TO_DOWNLOAD"], "10485760");
}

TEST(ResumeHeadersTest, AnyChangedKeyRestartsTheDownload) {
  EXPECT_TRUE(ResumeHeaders::match(current(), current()));
  for (const char* key : {"FILE_SIZE", "SEGMENT_SIZE", "ETAG", "SERVER_PATH",
                          "DOWNLOAD_START_ADDRESS", "NO_Of_BYTES_TO_DOWNLOAD"}) {
    ResumeHeaders::Map stored = current();
    stored[key] = std::string(1, '1');  // moved in: GCC 12 misreads a literal assign (-Wrestrict)
    EXPECT_FALSE(ResumeHeaders::match(stored, current())) << key;
  }
}

TEST(ResumeHeadersTest, AMissingKeyReadsAsEmptyTextOrZero) {
  ResumeHeaders::Map stored = current();
  stored.erase("DOWNLOAD_START_ADDRESS");
  EXPECT_TRUE(ResumeHeaders::match(stored, current()));
  stored.erase("ETAG");
  EXPECT_FALSE(ResumeHeaders::match(stored, current()));
}

}  // namespace
}  // namespace gde
