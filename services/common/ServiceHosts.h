#pragma once

#include <string>

// Where the online services live, per environment: one table of hosts under ".example". When
// WEND_SERVICE_BASE is set it replaces every base (tests and the demo point all services at one
// local server). Bases are scheme and host without a trailing "/". Stateless; any thread.

// A sign-in environment: its service base and its client secret (a build input, empty unless the
// build was given one).
struct IdraHost {
  std::string base;
  std::string clientSecret;
};

// The sign-in environment named exactly "PROD", "PRODUCTION", "STG", "STAGE", "DEV1", "DEV2",
// "QA1" or "QA2"; false, `out` untouched, for any other name.
bool idraHostFor(const std::string& environment, IdraHost& out);

// Event tracking and analytics beacons: stage for "STG"/"STAGE", production otherwise.
std::string eventsBaseUrl(const std::string& environment);
std::string beaconBaseUrl(const std::string& environment);

// The address the sign-in page's redirects lead to, ending in "/": the HTML mediator watches for
// it; the sign-in service sends the device token there.
std::string idraSentinelRoot(const std::string& environment);
