#include "services/signin/IdraUserStore.h"

#include "foundation/json/FastWriter.h"
#include "prefs/OpmApi.h"
#include "services/common/ReplyJson.h"

namespace {

constexpr char kDomain[] = "PANDO";
constexpr char kSubdomain[] = "Idra";

// One reference to the preferences library for one operation.
class OpmReference {
 public:
  OpmReference() : opened_(opm_createLibRef(&ref_) == OPM_OK) {}
  ~OpmReference() {
    if (opened_) opm_freeLibRef(ref_);
  }
  OpmReference(const OpmReference&) = delete;
  OpmReference& operator=(const OpmReference&) = delete;
  OPMLibRef get() const { return opened_ ? ref_ : nullptr; }

 private:
  OPMLibRef ref_ = nullptr;
  bool opened_;
};

}  // namespace

bool IdraUserStore::load(const std::string& clientId, StoredIdraUser& user) {
  OpmReference opm;
  char* text = nullptr;
  if (opm.get() == nullptr ||
      opm_getValue(opm.get(), kDomain, kSubdomain, clientId.c_str(), &text) != OPM_OK) {
    return false;
  }
  const std::string stored = text;
  opm_freeString(text);
  Json::Value record;
  if (!parseReplyObject(stored, record)) return false;
  user.profileJson = stringMember(record, "profile");
  user.accessToken = stringMember(record, "access_token");
  user.deviceToken = stringMember(record, "device_token");
  return true;
}

bool IdraUserStore::save(const std::string& clientId, const StoredIdraUser& user) {
  Json::Value record(Json::objectValue);
  record["profile"] = user.profileJson;
  record["access_token"] = user.accessToken;
  record["device_token"] = user.deviceToken;
  OpmReference opm;
  return opm.get() != nullptr && opm_setValue(opm.get(), kDomain, kSubdomain, clientId.c_str(),
                                              Json::FastWriter().write(record).c_str()) == OPM_OK;
}
