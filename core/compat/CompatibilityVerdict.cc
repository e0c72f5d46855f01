#include "core/compat/CompatibilityVerdict.h"

#include "foundation/json/FastWriter.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"

namespace {

std::string failingTypesOf(const Json::Value& list) {
  std::string types;
  if (!list.isArray()) return types;
  for (Json::ArrayIndex index = 0; index < list.size(); ++index) {
    const Json::Value& entry = list[index];
    if (!entry.isObject()) continue;
    const Json::Value& type = entry["type"];
    if (type.type() != Json::stringValue) continue;
    if (!types.empty()) types += " ,";
    types += type.asString();
  }
  return types;
}

}  // namespace

CompatibilityVerdict verdictFromResult(const std::string& result,
                                       const std::function<std::string()>& requirementUrl) {
  CompatibilityVerdict verdict;
  Json::Reader reader{Json::Features()};
  Json::Value root;
  if (!reader.parse(result, root, true) || !root.isObject()) return verdict;
  const Json::Value& checkResult = static_cast<const Json::Value&>(root)["checkResult"];
  const std::string word =
      checkResult.type() == Json::stringValue ? checkResult.asString() : std::string();
  if (word == "success") return verdict;

  root["systemRequirementURL"] = requirementUrl ? requirementUrl() : std::string();
  Json::FastWriter writer;
  verdict.alertText = writer.write(root);
  if (word == "warn") {
    verdict.outcome = CompatibilityOutcome::kWarn;
  } else if (word == "fail") {
    verdict.outcome = CompatibilityOutcome::kFail;
    verdict.failingTypes = failingTypesOf(static_cast<const Json::Value&>(root)["failingList"]);
  }
  return verdict;
}
