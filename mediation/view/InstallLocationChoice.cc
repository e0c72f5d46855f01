#include "mediation/view/InstallLocationChoice.h"

#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "mediation/view/ViewJson.h"

namespace {

constexpr char kPath[] = "installLocation";
constexpr char kFits[] = "fits";
constexpr char kErrorNumber[] = "errorNumber";
constexpr char kPageData[] = "pageData";

}  // namespace

std::string packInstallLocationChoice(const InstallLocationChoice& choice) {
  Json::Value data(Json::objectValue);
  data[kPath] = choice.path;
  data[kFits] = choice.fits ? "true" : "false";
  data[kErrorNumber] = choice.errorNumber;
  data[kPageData] = choice.pageData;
  Json::FastWriter writer;
  writer.omitEndingLineFeed();
  return writer.write(data);
}

std::optional<InstallLocationChoice> unpackInstallLocationChoice(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {kPath, kFits, kErrorNumber, kPageData})) return std::nullopt;
  const std::string& fits = members[kFits];
  if (fits != "true" && fits != "false") return std::nullopt;
  return InstallLocationChoice{members[kPath], fits == "true", members[kErrorNumber],
                               members[kPageData]};
}
