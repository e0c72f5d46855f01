#include "services/common/ServiceHosts.h"

#include "platform/system/DeveloperOverrides.h"

namespace {

struct IdraRow {
  const char* names[2];
  const char* base;
  const char* secret;
};

const IdraRow kIdraHosts[] = {
    {{"PROD", "PRODUCTION"}, "https://idra.skyloom.example", WEND_IDRA_SECRET_PROD},
    {{"STG", "STAGE"}, "https://idra-stage.skyloom.example", WEND_IDRA_SECRET_STAGE},
    {{"DEV1", nullptr}, "https://idra-dev1.skyloom.example", WEND_IDRA_SECRET_DEV},
    {{"DEV2", nullptr}, "https://idra-dev2.skyloom.example", WEND_IDRA_SECRET_DEV},
    {{"QA1", nullptr}, "https://idra-qa1.skyloom.example", WEND_IDRA_SECRET_QA},
    {{"QA2", nullptr}, "https://idra-qa2.skyloom.example", WEND_IDRA_SECRET_QA},
};

bool isStage(const std::string& environment) {
  return environment == "STG" || environment == "STAGE";
}

std::string base(const std::string& environment, const char* production, const char* stage) {
  if (auto local = platform::developerOverride("WEND_SERVICE_BASE")) return *local;
  return isStage(environment) ? stage : production;
}

}  // namespace

bool idraHostFor(const std::string& environment, IdraHost& out) {
  for (const IdraRow& row : kIdraHosts) {
    for (const char* name : row.names) {
      if (name == nullptr || environment != name) continue;
      out.base = base(environment, row.base, row.base);
      out.clientSecret = row.secret;
      return true;
    }
  }
  return false;
}

std::string eventsBaseUrl(const std::string& environment) {
  return base(environment, "https://events.skyloom.example",
              "https://events-stage.skyloom.example");
}

std::string beaconBaseUrl(const std::string& environment) {
  return base(environment, "https://beacon.skyloom.example",
              "https://beacon-stage.skyloom.example");
}

std::string idraSentinelRoot(const std::string& environment) {
  return base(environment, "https://www.skyloom.example", "https://www-stage.skyloom.example") +
         "/wend/signin/";
}
