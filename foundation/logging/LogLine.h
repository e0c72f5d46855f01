#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace pando {

// The six text fields of a record, in line order; null reads as empty.
struct LogFields {
  const char* label1 = nullptr;
  const char* label2 = nullptr;
  const char* module = nullptr;
  const char* component = nullptr;
  const char* tag = nullptr;
  const char* source = nullptr;
};

// How a record becomes one line of a log file:
//   time | [LEVEL] | label1 | label2 | module | component | tag | source | thread id | message
// Empty fields keep their separators. Pure functions; any thread.
class LogLine {
 public:
  static constexpr size_t kMaxMessage = 4094;

  // The record's text: the format expanded and cut to kMaxMessage characters, or, with no
  // argument list, the format itself as it stands.
  static std::string message(const char* format, va_list* args);
  // A message that carries a sign-in token (a dot-separated pair of "eyJ" parts) is replaced by a
  // notice and printed at WARN. Returns the level to print.
  static int withoutTokens(std::string& message, int level);
  // The whole line with its "\n". timeMs is milliseconds since the epoch, shown in local time.
  static std::string render(int level, const LogFields& fields, long threadId,
                            const std::string& message, int64_t timeMs);
  static const char* levelName(int level);
};

// A value from outside the process as a log line may show it: every byte outside printable ASCII,
// and the backslash, as "\xNN", so that the value can neither break the line nor pass for other
// text. Pure; any thread.
std::string escapedForLog(std::string_view text);

}  // namespace pando
