// Reads arbitrary bytes as the answer of the downloaded compatibility script. Nothing may crash
// or throw, a stop always carries an alert text naming the requirements URL, and only a fail
// names failed requirements.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/compat/CompatibilityVerdict.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const CompatibilityVerdict verdict =
      verdictFromResult(text, [] { return std::string("https://req.example/sys"); });
  // Member names match in any letter case, so the URL may sit under the answer's spelling.
  std::string alert = verdict.alertText;
  for (char& c : alert) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (verdict.outcome != CompatibilityOutcome::kPass &&
      alert.find("\"systemrequirementurl\":\"https://req.example/sys\"") == std::string::npos) {
    std::abort();
  }
  if (verdict.outcome != CompatibilityOutcome::kFail && !verdict.failingTypes.empty()) {
    std::abort();
  }
  return 0;
}
