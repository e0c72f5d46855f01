#include "services/common/ServiceState.h"

#include "core/config/ConfigValues.h"
#include "core/config/ServiceUrls.h"
#include "core/context/ApplicationContext.h"

ServiceSnapshot snapshotOf(ApplicationContext& context) {
  ConfigStore& config = context.config;
  ServiceSnapshot snapshot;
  snapshot.environment = GetEnvironment(config);
  snapshot.sapCode = GetSapCode(config);
  snapshot.productName = GetProductName(config);
  snapshot.locale = context.locale;
  snapshot.webContext = GetContextParams(config);
  snapshot.workflowId = context.workflowId;
  snapshot.installerWorkflowId = context.lbsInstallerWorkflowID;
  snapshot.contextServiceUrl = GetContextServiceUrl(config);
  snapshot.mid = GetMid(config);
  snapshot.aid = GetAid(config);
  snapshot.tallyVersion = GetTallyVersion(config);
  return snapshot;
}

void ServiceState::setSnapshot(ServiceSnapshot snapshot) {
  std::lock_guard lock(mutex_);
  snapshot_ = std::move(snapshot);
}

ServiceSnapshot ServiceState::snapshot() const {
  std::lock_guard lock(mutex_);
  return snapshot_;
}

void ServiceState::setProxyCredentials(const std::string& userName, const std::string& password) {
  std::lock_guard lock(mutex_);
  proxyUserName_ = userName;
  proxyPassword_ = password;
}

void ServiceState::proxyCredentials(std::string& userName, std::string& password) const {
  std::lock_guard lock(mutex_);
  userName = proxyUserName_;
  password = proxyPassword_;
}

void ServiceState::setUserGuid(const std::string& guid) {
  std::lock_guard lock(mutex_);
  userGuid_ = guid;
}

std::string ServiceState::userGuid() const {
  std::lock_guard lock(mutex_);
  return userGuid_;
}
