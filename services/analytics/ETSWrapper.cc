#include "services/analytics/ETSWrapper.h"

#include "core/context/ApplicationContext.h"
#include "core/install/InstallResult.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/text/StringUtils.h"
#include "services/analytics/WorkflowIdFile.h"
#include "services/common/ServiceCall.h"
#include "services/common/ServiceHosts.h"
#include "services/common/ServiceLog.h"
#include "services/common/ServiceState.h"

namespace {

constexpr char kComponent[] = "ETSWrapper";
constexpr char kDefaultSessionId[] = "{SDEFAULT-D7CA-4F31-B4C0-15DB86C98250}";

std::mutex sessionMutex;
std::string sessionId;  // guarded by sessionMutex

}  // namespace

ETSWrapper::ETSWrapper(std::shared_ptr<ServiceState> state, EventSender::Settings settings)
    : state_(std::move(state)),
      sender_([this](const std::vector<AnalyticsEvent>& batch,
                     int timeoutSeconds) { return post(batch, timeoutSeconds); },
              settings) {
  if (!sender_.start()) {
    serviceLog(pando::kLogError, kComponent, "The analytics sender did not start");
  }
}

ETSWrapper::~ETSWrapper() {
  shutdown();
}

std::shared_ptr<ETSWrapper> ETSWrapper::getInstance() {
  auto wrapper = std::dynamic_pointer_cast<ETSWrapper>(ApplicationContext::GetAnalytics());
  return wrapper && !wrapper->ended_ ? wrapper : nullptr;
}

void ETSWrapper::destroyInstance() {
  if (auto wrapper = std::dynamic_pointer_cast<ETSWrapper>(ApplicationContext::GetAnalytics())) {
    wrapper->shutdown();
  }
}

void ETSWrapper::shutdown() {
  ended_ = true;
  sender_.stop();
}

std::string ETSWrapper::getSessionID() {
  std::lock_guard lock(sessionMutex);
  if (sessionId.empty()) {
    std::string uuid;
    sessionId = StringUtils::utilCreateUUIDString(uuid) ? "{" + uuid + "}" : kDefaultSessionId;
  }
  return sessionId;
}

void ETSWrapper::setSessionID(const std::string& id) {
  std::lock_guard lock(sessionMutex);
  sessionId = id;
}

std::string ETSWrapper::getWorkflowIDString(int kind) {
  std::string id;
  if (!readWorkflowId(kind, id)) {
    serviceLog(pando::kLogError, kComponent, "Workflow id file %d could not be read", kind);
    return "";
  }
  return id;
}

std::string ETSWrapper::workflowIdString(int kind) {
  return getWorkflowIDString(kind);
}

void ETSWrapper::sendServiceEvent(const std::string& eventType) {
  sendServiceEventWithParams(eventType, {});
}

bool ETSWrapper::sendServiceEventWithParams(const std::string& eventType,
                                            const std::map<std::string, std::string>& params) {
  if (ended_) return true;
  sender_.enqueue(makeEvent(eventType, params));
  return true;
}

void ETSWrapper::sendCarouselLoadEvent(bool start) {
  std::atomic<bool>& sent = start ? carouselStartSent_ : carouselEndSent_;
  if (sent.exchange(true)) return;
  sendServiceEvent(start ? "lbs-carousel-load-start" : "lbs-carousel-load-end");
}

void ETSWrapper::sendProxyModeEvent() {
  sendServiceEvent("lbs-proxy-mode");
}

void ETSWrapper::setProxyCredentials(const std::string& userName, const std::string& password) {
  std::lock_guard lock(mutex_);
  proxyUserName_ = userName;
  proxyPassword_ = password;
}

void ETSWrapper::setVersionDownloading(const std::string& version) {
  std::lock_guard lock(mutex_);
  version_ = version;
}

void ETSWrapper::setUserGuid(const std::string& guid) {
  std::lock_guard lock(mutex_);
  userGuid_ = guid;
}

void ETSWrapper::setCountryCode(const std::string& countryCode) {
  std::lock_guard lock(mutex_);
  countryCode_ = countryCode;
}

void ETSWrapper::sendDownloadStartEvent() {
  sendServiceEvent("lbs-tarn-download-start");
}

void ETSWrapper::sendDownloadEndEvent(float downloadPercent, float downloadRate,
                                      int buttonClickTime) {
  sendServiceEventWithParams("lbs-tarn-download-end",
                             {{"percentDone", std::to_string(downloadPercent)},
                              {"downloadRate", std::to_string(downloadRate)},
                              {"buttonClickTime", std::to_string(buttonClickTime)}});
}

void ETSWrapper::sendDownloadFatalErrorEvent(const std::string& code, const std::string& subCode,
                                             bool cancelled, const std::string& errorDetail) {
  sendServiceEventWithParams("lbs-tarn-download-fatal-error",
                             {{"errorCode", code},
                              {"subErrorCode", subCode},
                              {"cancelled", cancelled ? "true" : "false"},
                              {"errorDetail", errorDetail}});
}

void ETSWrapper::sendDownloadRetryEvent(const std::string& errorCode) {
  sendServiceEventWithParams("lbs-tarn-download-retry", {{"errorCode", errorCode}});
}

void ETSWrapper::sendInstallStartEvent() {
  sendServiceEvent("lbs-tarn-install-start");
}

void ETSWrapper::sendInstallEndEvent() {
  sendServiceEvent("lbs-tarn-install-end");
}

void ETSWrapper::sendInstallFatalErrorEvent(const std::string& code) {
  std::string result;
  {
    std::lock_guard lock(mutex_);
    result = installResult_;
  }
  std::map<std::string, std::string> params = readInstallResultParams(result);
  params["errorCode"] = code;
  sendServiceEventWithParams("lbs-tarn-install-fatal-error", params);
}

void ETSWrapper::setInstallResult(const std::string& xml) {
  std::lock_guard lock(mutex_);
  installResult_ = xml;
}

std::string ETSWrapper::workflowId(int kind, const std::string& configured) {
  if (!configured.empty()) return configured;
  std::string& cached = workflowIds_[kind - 1];
  if (cached.empty()) cached = getWorkflowIDString(kind);
  return cached;
}

AnalyticsEvent ETSWrapper::makeEvent(const std::string& eventType,
                                     const std::map<std::string, std::string>& params) {
  const ServiceSnapshot snapshot = state_->snapshot();
  const std::string sharedGuid = state_->userGuid();
  AnalyticsEvent event;
  event.params.emplace_back("eventType", eventType);
  for (const auto& param : params) event.params.push_back(param);
  std::lock_guard lock(mutex_);
  event.params.insert(event.params.end(),
                      {{"sessionId", getSessionID()},
                       {"userGuid", userGuid_.empty() ? sharedGuid : userGuid_},
                       {"workflowId", workflowId(1, snapshot.workflowId)},
                       {"installerWorkflowId", workflowId(2, snapshot.installerWorkflowId)},
                       {"sapCode", snapshot.sapCode},
                       {"productName", snapshot.productName},
                       {"version", version_},
                       {"bitness", std::to_string(sizeof(void*) * 8)},
                       {"locale", snapshot.locale},
                       {"countryCode", countryCode_},
                       {"webContext", snapshot.webContext}});
  return event;
}

bool ETSWrapper::post(const std::vector<AnalyticsEvent>& batch, int timeoutSeconds) {
  HTTPConnectorRequest request;
  request.serverURL = eventsBaseUrl(state_->snapshot().environment);
  request.path = "/hsmessaging/rest";
  request.method = "POST";
  request.body = eventBatchXml(batch);
  request.timeoutSeconds = timeoutSeconds;
  std::string userName;
  std::string password;
  {
    std::lock_guard lock(mutex_);
    userName = proxyUserName_;
    password = proxyPassword_;
  }
  const ServiceReply reply = callService(request, userName, password);
  if (reply.succeeded()) return true;
  serviceLog(pando::kLogWarn, kComponent, "%zu events wait for the next try: %d, status %d",
             batch.size(), reply.result, reply.status);
  return false;
}
