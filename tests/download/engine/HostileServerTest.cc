#include <gtest/gtest.h>

#include <filesystem>

#include "download/engine/FileDownloadManager.h"
#include "tests/download/engine/support/EngineTestSupport.h"
#include "tests/download/engine/support/TestServerFixture.h"
#include "tools/testserver/ServerScript.h"

namespace gde {
namespace {

using namespace gde::testing;

constexpr uint64_t kSize = 1500000;
constexpr uint64_t kSeed = 11;

// How a hostile case must end: any sound end, complete, or failed with "file changed".
enum class End { Sound, Complete, FileChanged };

struct HostileCase {
  const char* name;
  const char* rules;  // test server rules for /file.bin, with {S} standing for the true size
  End end;
};

// Each server lies or changes in its own way; the HEAD is request 1 and the two-byte probe 2.
const HostileCase kCases[] = {
    {"stream body unsized and cut once",
     "first=2 count=1 ignore-range\nfirst=3 count=1 unsized-short-body", End::Complete},
    {"ranges refused and every body cut", "first=2 unsized-short-body", End::Sound},
    {"file shrank after the HEAD", "first=2 version={S-100000}:11", End::FileChanged},
    {"file grew after the HEAD", "first=2 version={S+100000}:11", End::FileChanged},
    {"streamed file shrank after the HEAD",
     "first=2 count=1 ignore-range\nfirst=3 version={S-100000}:11", End::FileChanged},
    {"HEAD claims twice the size", "first=1 count=1 head-size={2S}", End::FileChanged},
    {"HEAD claims half the size", "first=1 count=1 head-size={S/2}", End::FileChanged},
    {"content and ETag change mid-download", "first=5 version={S}:99", End::FileChanged},
    {"ETag changes mid-download", "first=5 changed-etag", End::FileChanged},
    {"neighbouring ranges", "first=4 count=3 wrong-content-range", End::Complete},
    {"promised bodies cut short", "first=4 count=3 short-body", End::Complete},
    {"ranges answered with stray bytes after them", "first=4 count=3 long-body=1000",
     End::Complete},
    {"stream longer than the HEAD's size", "first=2 count=1 ignore-range\nfirst=3 long-body=1000",
     End::FileChanged},
    {"HEAD claims an empty file", "first=1 count=1 head-size=0", End::Complete},
};

void PrintTo(const HostileCase& hostile, std::ostream* out) {
  *out << hostile.name;
}

std::string expand(std::string rules) {
  const std::pair<const char*, uint64_t> sizes[] = {{"{S-100000}", kSize - 100000},
                                                    {"{S+100000}", kSize + 100000},
                                                    {"{2S}", 2 * kSize},
                                                    {"{S/2}", kSize / 2},
                                                    {"{S}", kSize}};
  for (const auto& [name, value] : sizes) {
    for (size_t at; (at = rules.find(name)) != std::string::npos;) {
      rules.replace(at, std::string_view(name).size(), std::to_string(value));
    }
  }
  std::string script;
  for (size_t start = 0; start < rules.size();) {
    const size_t end = std::min(rules.find('\n', start), rules.size());
    script += "rule /file.bin " + rules.substr(start, end - start) + "\n";
    start = end + 1;
  }
  return script;
}

class HostileServerTest : public TestServerFixture,
                          public ::testing::WithParamInterface<std::tuple<HostileCase, uint32_t>> {
};

// Whatever the server does, a download ends byte-identical to one version it held, or fails.
TEST_P(HostileServerTest, EndsWithOneWholeVersionOrAnError) {
  const auto& [hostile, threads] = GetParam();
  server().addGenerated("/file.bin", kSize, kSeed);
  std::string error;
  ASSERT_TRUE(testserver::applyScript(expand(hostile.rules), server(), error)) << error;
  FileDownloadManager manager(quickSettings(), EngineClock::steady(), quickHttp());
  ASSERT_EQ(manager.init(requestFor(url("/file.bin"), scratch().path(), threads, 0x40000)), 0);
  // A change seen while planning fails the start itself.
  const int32_t state = manager.start() == 0
                            ? waitForState(manager, {1, 5, 6, 7}, std::chrono::seconds(120))
                            : kDleStateFatal;
  EXPECT_NE(state, -1) << "the download never ended";
  manager.stop();
  DLEErrorInfo last;
  manager.getLastError(last);
  if (state == kDleStateComplete) {
    const std::string got = wendtest::readFile(scratch() / "out.bin");
    EXPECT_TRUE(got == generatedBytes(kSeed, 0, kSize) || got == generatedBytes(99, 0, kSize))
        << "complete with " << got.size() << " bytes that no version held";
  }
  if (hostile.end == End::Complete) {
    EXPECT_EQ(state, kDleStateComplete);
  }
  if (hostile.end == End::FileChanged) {
    EXPECT_NE(state, kDleStateComplete);
    EXPECT_EQ(last.errorType, kDleErrorFileChanged) << last.message;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileServerTest,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(1u, 4u, 12u)),
                         [](const auto& param) {
                           std::string name = std::get<0>(param.param).name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name + "_" + std::to_string(std::get<1>(param.param));
                         });

}  // namespace
}  // namespace gde
