#pragma once

#include <string>

#include "foundation/json/Value.h"

// Reading the JSON replies of the online services, which are untrusted: a member of the wrong
// type reads as absent, and no Json exception leaves these functions. Stateless; any thread.

// True when `text` (at most kMaxReplyBytes) is one JSON object; `object` is then that object.
bool parseReplyObject(const std::string& text, Json::Value& object);
// The member's text when it is a string; "" when absent or of another type.
std::string stringMember(const Json::Value& object, const char* name);
// The member when it is an object; null otherwise.
const Json::Value* objectMember(const Json::Value& object, const char* name);
