#pragma once

#include <string>

// What the installer takes from the online services' JSON replies. Each reader is true, with its
// outputs set, only when the reply holds what its caller needs; otherwise the outputs are left as
// they were. Replies are untrusted (see ReplyJson.h). Stateless; any thread.

// Sign-in token call and jump-token call: a string that is not empty, is well-formed UTF-8 and
// holds no control character (a NUL, a line break).
// Sign-in token call: the string member "access_token".
bool readAccessToken(const std::string& reply, std::string& accessToken);
// Sign-in profile call: an object with a non-empty string "userId"; `profileJson` is the object
// written compactly, `userGuid` the user id before its last "@".
bool readUserProfile(const std::string& reply, std::string& profileJson, std::string& userGuid);
// Jump-token call: the string member "jump".
bool readJumpUrl(const std::string& reply, std::string& jumpUrl);
// Social-provider call: both string members "internal_url" and "external_url", not empty;
// `addresses` is an object of just those two, written compactly.
bool readSocialAddresses(const std::string& reply, std::string& addresses);
// Survey context: an object member "survey".
bool readSurveyContext(const std::string& reply);
