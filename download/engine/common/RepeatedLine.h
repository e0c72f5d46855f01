#pragma once

#include <cstdint>
#include <string>

namespace gde {

// One engine log line for a failure that repeats: the first is logged, the repeats that follow
// (same key) are only counted, and the count is logged once, when another line is logged through
// it, at flush, or when it goes. Not thread-safe: one owner thread.
class RepeatedLine {
 public:
  explicit RepeatedLine(const char* component) : component_(component) {}
  ~RepeatedLine() { flush(); }
  RepeatedLine(const RepeatedLine&) = delete;
  RepeatedLine& operator=(const RepeatedLine&) = delete;

  // Logs `text` unless `key` is the key of the line logged last; true when it logged.
  bool log(int level, const std::string& key, const std::string& text);
  // Logs the count of the repeats, if any, and forgets the last line.
  void flush();

 private:
  const char* const component_;
  bool active_ = false;
  std::string key_;
  std::string text_;
  int level_ = 0;
  uint32_t repeats_ = 0;
};

}  // namespace gde
