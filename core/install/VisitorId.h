#pragma once

#include <string>

#include "core/config/ConfigStore.h"

// The analytics visitor-id synchronisation: one GET to the configured visitor-id host
// (configuration value "visitorIdHost"), fire and forget. Runs on the caller's thread and blocks
// it for at most the time-out; nothing is logged and nothing is reported.

// Fixed waits of the request; tests pass shorter ones.
struct VisitorIdSettings {
  int timeoutSeconds = 60;
};

// "https://<host>/ibs:dpid=813&dpuuid=<user GUID>&d_uuid=<quarry_uuid>", both values
// percent-encoded so that neither can add a parameter or cut the URL; "" when one is not UTF-8.
std::string visitorIdUrl(const std::string& host, const std::string& userGuid,
                         const std::string& quarryUuid);

// Sends the request unless `quarry_uuid` or "visitorIdHost" is empty (or the URL cannot be made),
// with the given proxy credentials. The reply is ignored.
void syncVisitorId(ConfigStore& config, const std::string& userGuid,
                   const std::string& proxyUserName, const std::string& proxyPassword,
                   const VisitorIdSettings& settings = {});
