#include "mediation/view/ViewJson.h"

#include <cstring>

#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"

bool ViewJson::read(const std::string& data, std::initializer_list<const char*> names) {
  members_.clear();
  Json::Value root;
  Json::Reader reader{Json::Features()};
  if (!reader.parse(data, root) || !root.isObject()) return false;
  std::map<std::string, std::string> members;
  for (const char* name : names) {
    const Json::Value* member = root.find(name, name + std::strlen(name));
    if (member == nullptr) {
      members[name] = "";
      continue;
    }
    if (member->isArray() || member->isObject()) return false;
    members[name] = member->asString();
  }
  members_ = std::move(members);
  return true;
}

const std::string& ViewJson::operator[](const std::string& name) const {
  static const std::string none;
  const auto found = members_.find(name);
  return found == members_.end() ? none : found->second;
}
