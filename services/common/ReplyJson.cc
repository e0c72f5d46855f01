#include "services/common/ReplyJson.h"

#include <cstring>

#include "foundation/json/Reader.h"
#include "services/common/ServiceCall.h"

namespace {

const Json::Value* member(const Json::Value& object, const char* name) {
  if (!object.isObject()) return nullptr;
  return object.find(name, name + std::strlen(name));
}

}  // namespace

bool parseReplyObject(const std::string& text, Json::Value& object) {
  if (text.empty() || text.size() > kMaxReplyBytes) return false;
  Json::Reader reader{Json::Features()};
  Json::Value root;
  if (!reader.parse(text, root, false) || !root.isObject()) return false;
  object.swap(root);
  return true;
}

std::string stringMember(const Json::Value& object, const char* name) {
  const Json::Value* value = member(object, name);
  const char* begin = nullptr;
  const char* end = nullptr;
  if (value == nullptr || !value->getString(&begin, &end)) return "";
  return std::string(begin, end);
}

const Json::Value* objectMember(const Json::Value& object, const char* name) {
  const Json::Value* value = member(object, name);
  return value != nullptr && value->isObject() ? value : nullptr;
}
