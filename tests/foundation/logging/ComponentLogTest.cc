#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/logging/ComponentLog.h"
#include "foundation/logging/UtilsLog.h"
#include "tests/support/CapturingLogger.h"

namespace {

std::vector<std::string> hooked;

void hook(int level, const char* module, const char* component, const char*, const char*,
          const char* format, ...) {
  char message[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  hooked.push_back(std::to_string(level) + "|" + module + "|" + component + "|" + message);
}

std::string line(const wendtest::Record& record) {
  return std::to_string(record.level) + "|" + record.module + "|" + record.component + "|" +
         record.tag + "|" + record.message;
}

TEST(ComponentLogTest, EachRouteWritesTheLineItsComponentWroteBefore) {
  constexpr pando::ComponentLog core{"PimLibrary"};
  constexpr pando::ComponentLog utilities{"CommBridge", pando::ComponentLog::Route::kUtilities};
  wendtest::CapturingLogger logger;
  setApplicationLogger(&logger);
  pando::setPandoUtilsLogHook(hook);
  core(pando::kLogInfo, "plain 100%% %s", "done");
  core(pando::kLogError, "no arguments");
  core.tagged(pando::kLogError, "InitMessageGateway", "code %d", 7);
  utilities(pando::kLogWarn, "pipe %i, errno = %i", 5, 32);
  utilities(pando::kLogTrace, "100%% closed");
  pando::setPandoUtilsLogHook(nullptr);
  setApplicationLogger(nullptr);

  std::vector<std::string> lines;
  for (const wendtest::Record& record : logger.records()) lines.push_back(line(record));
  const std::string info = std::to_string(pando::kLogInfo) + "|Bootstrapper|PimLibrary|";
  const std::string error = std::to_string(pando::kLogError) + "|Bootstrapper|PimLibrary|";
  EXPECT_EQ(lines, (std::vector<std::string>{info + "|plain 100% done", error + "|no arguments",
                                             error + "InitMessageGateway|code 7"}));
  EXPECT_EQ(hooked,
            (std::vector<std::string>{
                std::to_string(pando::kLogWarn) + "|PandoUtils|CommBridge|pipe 5, errno = 32",
                std::to_string(pando::kLogTrace) + "|PandoUtils|CommBridge|100% closed"}));
}

}  // namespace
