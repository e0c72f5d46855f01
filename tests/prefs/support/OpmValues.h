#pragma once

#include <cstdint>
#include <string>

// The values that the child processes write and the tests expect, each distinctive enough to be
// searched for in the database file's bytes.
namespace wendtest {

inline std::string manyValue(const std::string& key) {
  return "plain-secret-of-" + key;
}

inline std::string crashKey(uint32_t i) {
  return "k" + std::to_string(i);
}

// Long enough that the database spans many pages, so a kill can land in the middle of a write.
inline std::string crashValue(uint32_t i) {
  std::string value = "crash-secret-" + std::to_string(i) + "-";
  while (value.size() < 700) value += static_cast<char>('a' + value.size() % 26);
  return value;
}

}  // namespace wendtest
