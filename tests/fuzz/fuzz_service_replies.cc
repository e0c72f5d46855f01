// Feeds arbitrary bytes, as the online services would receive them, to every reader of their
// replies: sign-in token, profile, jump and social-provider replies, the provider list and the
// survey context. No reader may throw or crash, and what a reader accepts must hold what its
// caller relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/common/ReplyJson.h"
#include "services/common/ServiceReplies.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  std::string text;
  if (readAccessToken(reply, text) || readJumpUrl(reply, text)) require(!text.empty());

  std::string profile;
  std::string guid;
  if (readUserProfile(reply, profile, guid)) {
    Json::Value again;
    require(parseReplyObject(profile, again));
    const std::string userId = stringMember(again, "userId");
    require(!userId.empty() && userId.compare(0, guid.size(), guid) == 0);
    require(guid.find('@') == std::string::npos || userId.size() > guid.size());
  }

  std::string addresses;
  if (readSocialAddresses(reply, addresses)) {
    Json::Value again;
    require(parseReplyObject(addresses, again) && again.size() == 2);
    require(!stringMember(again, "internal_url").empty());
    require(!stringMember(again, "external_url").empty());
  }

  readSurveyContext(reply);
  Json::Value providers;
  if (parseReplyObject(reply, providers)) require(providers.isObject());
  return 0;
}
