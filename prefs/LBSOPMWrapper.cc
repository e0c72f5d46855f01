#include "prefs/LBSOPMWrapper.h"

namespace {

constexpr char kDomain[] = "PANDO";
constexpr char kSubdomain[] = "ProxyCredentials";
constexpr char kUserNameKey[] = "ProxyUsername";
constexpr char kPasswordKey[] = "ProxyPassword";

int readText(OPMLibRef ref, const char* key, std::string& out) {
  char* value = nullptr;
  int status = opm_getValue(ref, kDomain, kSubdomain, key, &value);
  if (status == OPM_OK) out = value;
  opm_freeString(value);
  return status;
}

}  // namespace

LBSOPMWrapper::~LBSOPMWrapper() {
  OPMFreeLibRef();
}

int LBSOPMWrapper::init() {
  if (ref_) return OPM_OK;
  return opm_createLibRef(&ref_);
}

int LBSOPMWrapper::readProxyCredentials(std::string& userName, std::string& password) {
  std::string user, secret;
  int status = readText(ref_, kUserNameKey, user);
  if (status == OPM_OK) status = readText(ref_, kPasswordKey, secret);
  if (status != OPM_OK) return status;
  userName = std::move(user);
  password = std::move(secret);
  return OPM_OK;
}

int LBSOPMWrapper::saveProxyCredentials(const std::string& userName, const std::string& password) {
  int status = opm_setValue(ref_, kDomain, kSubdomain, kUserNameKey, userName.c_str());
  if (status != OPM_OK) return status;
  return opm_setValue(ref_, kDomain, kSubdomain, kPasswordKey, password.c_str());
}

int LBSOPMWrapper::OPMFreeLibRef() {
  if (!ref_) return OPM_OK;
  int status = opm_freeLibRef(ref_);
  ref_ = nullptr;
  return status;
}
