#pragma once

#include <chrono>

#include "download/engine/DownloadSettings.h"

namespace applets {

// The applet host's waits, with the product's values as defaults; tests pass shorter ones.
struct AppletHostSettings {
  gde::DownloadSettings download = gde::DownloadSettings::fromEnvironment();
  std::chrono::milliseconds pollInterval{100};  // how often a running download is looked at
};

}  // namespace applets
