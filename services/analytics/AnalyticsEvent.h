#pragma once

#include <string>
#include <utility>
#include <vector>

// One analytics event "CORVEL_SERVICE": its parameters, names and texts, in the order sent.
struct AnalyticsEvent {
  std::vector<std::pair<std::string, std::string>> params;
};

// "<events><event name="CORVEL_SERVICE"><param name="...">...</param>...</event>...</events>",
// every text escaped by libxml2. A parameter whose name or text XML cannot carry (invalid UTF-8,
// control characters) is left out, with the rest of its event kept. Any thread.
std::string eventBatchXml(const std::vector<AnalyticsEvent>& events);
