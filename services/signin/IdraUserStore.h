#pragma once

#include <string>

// The signed-in user as the preferences store keeps it across runs: one encrypted value under
// domain "PANDO", subdomain "Idra", keyed by the sign-in client id, holding a JSON object with
// the profile JSON text, the access token and the device token. Each call opens and closes its
// own reference to the store, so any thread may call; calls are not atomic with one another.
struct StoredIdraUser {
  std::string profileJson;
  std::string accessToken;
  std::string deviceToken;
};

class IdraUserStore {
 public:
  // False when nothing is stored for `clientId` or what is stored does not read as a user.
  static bool load(const std::string& clientId, StoredIdraUser& user);
  static bool save(const std::string& clientId, const StoredIdraUser& user);
};
