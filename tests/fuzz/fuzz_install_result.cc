// Reads arbitrary bytes as the installer library's install-result document. Nothing may crash,
// and every parameter read has a name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/install/InstallResult.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const auto& [name, value] : readInstallResultParams(text)) {
    if (name.empty()) std::abort();
  }
  return 0;
}
