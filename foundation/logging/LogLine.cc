#include "foundation/logging/LogLine.h"

#include <cstdio>
#include <ctime>

#include "foundation/logging/AbstractLogger.h"

namespace pando {
namespace {

constexpr const char* kSeparator = " | ";
constexpr const char* kTokenNotice = "Found access/device token. Log skipped.";

std::string timeText(int64_t timeMs) {
  time_t seconds = static_cast<time_t>(timeMs / 1000);
  int millis = static_cast<int>(timeMs % 1000);
  tm local{};
  localtime_r(&seconds, &local);
  char stamp[256];
  // The locale's own date and time, as log readers expect them; the two-digit year is intended.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"
  size_t length = strftime(stamp, sizeof stamp, "%x %X", &local);
#pragma GCC diagnostic pop
  snprintf(stamp + length, sizeof stamp - length, ":%.3d", millis);
  return stamp;
}

void appendField(std::string& line, const char* text) {
  if (text) line += text;
  line += kSeparator;
}

}  // namespace

std::string LogLine::message(const char* format, va_list* args) {
  if (!args) return format;
  char text[kMaxMessage + 2];
  // The limit of one less than the buffer keeps at most kMaxMessage characters.
  int length = vsnprintf(text, kMaxMessage + 1, format, *args);
  return length < 0 ? std::string() : std::string(text);
}

int LogLine::withoutTokens(std::string& message, int level) {
  size_t first = message.find("eyJ");
  if (first == std::string::npos || message.find(".eyJ", first) == std::string::npos) {
    return level;
  }
  message = kTokenNotice;
  return kLogWarn;
}

std::string LogLine::render(int level, const LogFields& fields, long threadId,
                            const std::string& message, int64_t timeMs) {
  std::string line = timeText(timeMs);
  line += kSeparator;
  line += '[';
  line += levelName(level);
  line += ']';
  line += kSeparator;
  for (const char* text :
       {fields.label1, fields.label2, fields.module, fields.component, fields.tag, fields.source}) {
    appendField(line, text);
  }
  line += std::to_string(threadId);
  line += kSeparator;
  line += message;
  line += '\n';
  return line;
}

std::string escapedForLog(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      escaped += static_cast<char>(c);
    } else {
      char code[5];
      snprintf(code, sizeof code, "\\x%02X", c);
      escaped += code;
    }
  }
  return escaped;
}

const char* LogLine::levelName(int level) {
  switch (level) {
    case kLogTrace:
      return "TRACE";
    case kLogDebug:
      return "DEBUG";
    case kLogInfo:
      return "INFO";
    case kLogWarn:
      return "WARN";
    case kLogError:
      return "ERROR";
    case kLogFatal:
      return "FATAL";
    case kLogNone:
      return "NONE";
    default:
      return "ALL";
  }
}

}  // namespace pando
