#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/TemporaryFolder.h"

namespace wendtest {

// Writes <bundle>/Contents/Info.plist with the given dictionary body and returns the bundle.
inline std::string makeBundle(const std::string& bundle, const std::string& dictBody) {
  std::filesystem::create_directories(bundle + "/Contents/MacOS");
  writeFile(bundle + "/Contents/Info.plist",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + dictBody +
                "</dict></plist>\n");
  return bundle;
}

// An executable shell script.
inline void writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}

}  // namespace wendtest
