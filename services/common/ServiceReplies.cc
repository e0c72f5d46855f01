#include "services/common/ServiceReplies.h"

#include <algorithm>

#include "foundation/json/FastWriter.h"
#include "foundation/text/Utf8.h"
#include "services/common/ReplyJson.h"

namespace {

// The one string member `name`, not empty, well-formed UTF-8 and free of control characters: the
// token goes into a header field, which would be dropped with them, and the jump URL is opened.
bool readText(const std::string& reply, const char* name, std::string& text) {
  Json::Value object;
  if (!parseReplyObject(reply, object)) return false;
  std::string value = stringMember(object, name);
  const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
  if (value.empty() || !Utf8::isValid(value) || std::any_of(value.begin(), value.end(), control)) {
    return false;
  }
  text = std::move(value);
  return true;
}

}  // namespace

bool readAccessToken(const std::string& reply, std::string& accessToken) {
  return readText(reply, "access_token", accessToken);
}

bool readUserProfile(const std::string& reply, std::string& profileJson, std::string& userGuid) {
  Json::Value profile;
  if (!parseReplyObject(reply, profile)) return false;
  const std::string userId = stringMember(profile, "userId");
  // The stored profile is written as UTF-8, so an id that is not would come back as another user.
  if (userId.empty() || !Utf8::isValid(userId)) return false;
  profileJson = Json::FastWriter().write(profile);
  userGuid = userId.substr(0, userId.rfind('@'));
  return true;
}

bool readJumpUrl(const std::string& reply, std::string& jumpUrl) {
  return readText(reply, "jump", jumpUrl);
}

bool readSocialAddresses(const std::string& reply, std::string& addresses) {
  Json::Value object;
  if (!parseReplyObject(reply, object)) return false;
  const std::string internalUrl = stringMember(object, "internal_url");
  const std::string externalUrl = stringMember(object, "external_url");
  if (internalUrl.empty() || externalUrl.empty()) return false;
  Json::Value both(Json::objectValue);
  both["internal_url"] = internalUrl;
  both["external_url"] = externalUrl;
  addresses = Json::FastWriter().write(both);
  return true;
}

bool readSurveyContext(const std::string& reply) {
  Json::Value context;
  return parseReplyObject(reply, context) && objectMember(context, "survey") != nullptr;
}
