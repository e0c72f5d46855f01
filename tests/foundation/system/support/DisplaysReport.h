#pragma once

#include <string>

namespace wendtest {

// A graphics report as `system_profiler -xml SPDisplaysDataType` writes it: one graphics
// processor with two displays (the first one main) and VRAM in GB, one without displays whose
// VRAM is under the second key, in MB.
inline std::string displaysReport() {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><array><dict>
  <key>_dataType</key><string>SPDisplaysDataType</string>
  <key>_items</key><array>
    <dict><key>sppci_model</key><string>Radeon Pro 560</string>
      <key>spdisplays_vram</key><string>2 GB</string>
      <key>spdisplays_ndrvs</key><array>
        <dict><key>spdisplays_main</key><string>spdisplays_yes</string>
          <key>_spdisplays_resolution</key><string>2560 x 1600 @ 60.00Hz</string></dict>
        <dict><key>_spdisplays_resolution</key><string>1440 x 900</string></dict>
      </array></dict>
    <dict><key>sppci_model</key><string>Intel HD Graphics 630</string>
      <key>_spdisplays_vram</key><string>1536 MB</string></dict>
  </array>
</dict></array></plist>
)";
}

}  // namespace wendtest
