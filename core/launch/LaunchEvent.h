#pragma once

#include <string>

// Sends the analytics service event `eventType` through the living context's analytics; dropped
// when there is none. Any thread.
void sendLaunchEvent(const std::string& eventType);
