#pragma once

#include <cstddef>
#include <cstdint>

// Unsigned integers stored in a fixed byte order, as file formats lay them out. The caller
// checks that sizeof(T) bytes lie at `bytes`. Any thread.
namespace platform {

template <typename T>
T loadLittle(const void* bytes) {
  const auto* at = static_cast<const unsigned char*>(bytes);
  T value = 0;
  for (size_t i = sizeof(T); i-- > 0;) value = static_cast<T>(value << 8 | at[i]);
  return value;
}

template <typename T>
T loadBig(const void* bytes) {
  const auto* at = static_cast<const unsigned char*>(bytes);
  T value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value = static_cast<T>(value << 8 | at[i]);
  return value;
}

}  // namespace platform
