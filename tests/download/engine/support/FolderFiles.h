#pragma once

#include <string>

#include "tests/support/TemporaryFolder.h"

// Writes `bytes` to the named file in `folder` and returns its path.
inline std::string writeIn(const wendtest::TemporaryFolder& folder, const std::string& name,
                           const std::string& bytes) {
  wendtest::writeFile(folder / name, bytes);
  return folder / name;
}
