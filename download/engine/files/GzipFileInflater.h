#pragma once

#include <string>

namespace gde {

// Inflates a finished gzip download into its target without ever holding it in memory and
// without ever leaving a partial or replaced target behind:
//   1. the source is inflated in chunks into a new temporary file beside the target, every write
//      checked;
//   2. the temporary file is renamed to the target, failing rather than replacing an existing one;
//   3. only then is the source deleted.
// On any failure the temporary file is removed, the source kept, and `error` says what failed
// (`systemError` the errno, 0 for a damaged stream). Stateless; any thread.
class GzipFileInflater {
 public:
  static bool inflate(const std::string& source, const std::string& target, std::string& error,
                      int& systemError);
};

}  // namespace gde
