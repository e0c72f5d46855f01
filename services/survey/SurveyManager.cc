#include "services/survey/SurveyManager.h"

#include "core/workflow/ViewMessageData.h"
#include "foundation/json/FastWriter.h"
#include "foundation/logging/AbstractLogger.h"
#include "services/common/ServiceCall.h"
#include "services/common/ServiceHosts.h"
#include "services/common/ServiceLog.h"
#include "services/common/ServiceReplies.h"
#include "services/common/ServiceState.h"

namespace {

constexpr char kComponent[] = "SurveyManager";
constexpr char kSurveyVersion[] = "1.0";
constexpr char kSurveyPage[] = "Survey-Screen";

ServiceReply send(const ServiceState& state, HTTPConnectorRequest request) {
  request.timeoutSeconds = kServiceTimeoutSeconds;
  std::string userName;
  std::string password;
  state.proxyCredentials(userName, password);
  return callService(request, userName, password);
}

}  // namespace

SurveyManager::SurveyManager(std::shared_ptr<ServiceState> state) : state_(std::move(state)) {}

int SurveyManager::fetchSurveyContext() {
  const ServiceSnapshot snapshot = state_->snapshot();
  HTTPConnectorRequest request;
  request.serverURL = snapshot.contextServiceUrl + "?" +
                      formText({{"sapCode", snapshot.sapCode}, {"locale", snapshot.locale}});
  request.method = "GET";
  request.headers["Accept"] = "application/json";
  const ServiceReply reply = send(*state_, request);
  if (reply.succeeded() && readSurveyContext(reply.body)) {
    serviceLog(pando::kLogInfo, kComponent, "Survey found");
    return kSurveyFound;
  }
  serviceLog(pando::kLogInfo, kComponent, "No survey to show: %d, status %d", reply.result,
             reply.status);
  return kNoSurvey;
}

void SurveyManager::sendPageViewBeacon(bool onLoad) {
  const ServiceSnapshot snapshot = state_->snapshot();
  HTTPConnectorRequest request;
  request.serverURL = beaconBaseUrl(snapshot.environment);
  request.path = "/beacon/v1?" + formText({{"mid", snapshot.mid},
                                           {"aid", snapshot.aid},
                                           {"TallyVersion", snapshot.tallyVersion},
                                           {"page", kSurveyPage},
                                           {"onLoad", onLoad ? "true" : "false"}});
  request.method = "GET";
  const ServiceReply reply = send(*state_, request);
  if (!reply.succeeded()) {
    serviceLog(pando::kLogWarn, kComponent, "Survey beacon failed: %d, status %d", reply.result,
               reply.status);
  }
}

void SurveyManager::sendSurveyResults() {
  const ServiceSnapshot snapshot = state_->snapshot();
  Json::Value results(Json::objectValue);
  results["sapCode"] = snapshot.sapCode;
  results["locale"] = snapshot.locale;
  {
    std::lock_guard lock(mutex_);
    Json::Value& survey = results["survey"];
    survey["version"] = kSurveyVersion;
    survey["skill"] = answers_.skill;
    survey["job"] = answers_.job;
    survey["purpose"] = answers_.purpose;
  }
  HTTPConnectorRequest request;
  request.serverURL = snapshot.contextServiceUrl;
  request.method = "POST";
  request.headers["Content-Type"] = "application/json";
  request.body = Json::FastWriter().write(results);
  const ServiceReply reply = send(*state_, request);
  if (!reply.succeeded()) {
    serviceLog(pando::kLogError, kComponent, "Survey results not accepted: %d, status %d",
               reply.result, reply.status);
  }
}

void SurveyManager::loadSurveyData(const std::string& data) {
  if (data.empty()) {
    serviceLog(pando::kLogInfo, kComponent, "No survey data found.");
    return;
  }
  ViewMessageData pairs;
  pairs.parse(data);
  setAnswers({pairs.getValue("skill"), pairs.getValue("job"), pairs.getValue("purpose")});
}

void SurveyManager::setAnswers(Answers answers) {
  std::lock_guard lock(mutex_);
  answers_ = std::move(answers);
}
