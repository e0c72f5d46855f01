#pragma once

#include <string>

namespace wendtest {

// A byte that would break a log line or disguise what follows it, and the form the log shows it
// in: a line feed, a carriage return, NUL, other C0 controls and DEL.
struct LineBreaker {
  std::string byte;
  std::string shown;
};

inline const LineBreaker kLineBreakers[] = {
    {"\n", "\\x0A"}, {"\r", "\\x0D"},   {std::string(1, '\0'), "\\x00"},
    {"\t", "\\x09"}, {"\x1b", "\\x1B"}, {"\x7f", "\\x7F"},
};

// Whether any line of `log` begins with `marker`: a value that broke its line.
inline bool lineBeginsWith(const std::string& log, const std::string& marker) {
  if (log.compare(0, marker.size(), marker) == 0) return true;
  for (size_t end = log.find_first_of("\r\n"); end != std::string::npos;
       end = log.find_first_of("\r\n", end + 1)) {
    if (log.compare(end + 1, marker.size(), marker) == 0) return true;
  }
  return false;
}

}  // namespace wendtest
