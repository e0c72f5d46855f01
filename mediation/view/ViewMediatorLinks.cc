// The two handlers that reach out of the installer for the page: the SMS request and the links
// opened in the user's browser.
#include <map>
#include <string>

#include "core/config/ServiceUrls.h"
#include "core/context/ApplicationContext.h"
#include "foundation/http/HTTPConnector.h"
#include "foundation/json/FastWriter.h"
#include "foundation/json/Value.h"
#include "foundation/logging/AbstractLogger.h"
#include "foundation/logging/LogCallback.h"
#include "foundation/logging/LogLine.h"
#include "foundation/system/ProcessUtils.h"
#include "foundation/text/StringUtils.h"
#include "foundation/xml/XMLParser.h"
#include "mediation/view/ViewJson.h"
#include "mediation/view/ViewMediatorBase.h"

namespace {

constexpr char kComponent[] = "ViewMediatorBase";
constexpr char kAppId[] = "SkyloomInstaller_v1_0";
constexpr char kTemplatePrefix[] = "com.orvel.wend.v1:mobile.application.";
constexpr int kSmsSent = 201;

std::string smsBody(const std::string& phoneNumber, const std::string& locale,
                    const std::string& templateName) {
  XMLParser xml;
  XMLNode root = nullptr;
  std::string body;
  // The phone number is the user's text: it goes into the document as literal text.
  if (xml.initWithXMLString("<send-sms-request/>") && xml.getRootNode(root)) {
    xml.addChildToNode("phone-number", phoneNumber, root);
    xml.addChildToNode("locale", locale, root);
    xml.addChildToNode("template-name", templateName, root);
    xml.getXMLString(body);
  }
  return body;
}

}  // namespace

void ViewMediatorBase::sendSMS(const std::string& data) {
  ViewJson members;
  if (!members.read(data, {"phoneNumber", "mobileApp"})) return;
  ApplicationContext& context = this->context();

  HTTPConnectorRequest request;
  request.serverURL = GetSmsServiceUrl(context.config);
  request.method = "POST";
  const std::string token = context.userProfile ? context.userProfile->accessToken() : "";
  request.headers["Authorization"] = "Bearer " + token;
  request.headers["x-orvel-app-id"] = kAppId;
  request.headers["Accept"] = "application/json";
  request.headers["Content-Type"] = "application/xml";
  request.headers["x-api-key"] = kAppId;
  request.body =
      smsBody(members["phoneNumber"], context.locale, kTemplatePrefix + members["mobileApp"]);
  request.timeoutSeconds = settings_.smsTimeoutSeconds;

  HTTPConnector connector;
  connector.setLogger(nullptr);
  const ProxyCredentials proxy = context.proxyCredentials.get();
  connector.setProxyCredentials(proxy.userName, proxy.password);
  std::map<std::string, std::string> headers;
  std::string reply;
  connector.SendHTTPRequest(request, headers, reply);
  const int status = connector.getHTTPStatusCode();

  Json::Value answer(Json::objectValue);
  answer["status"] = status == kSmsSent ? "success" : "error";
  answer["responseCode"] = StringUtils::utilLongToString(status);
  sendMessageToView("sendSMSResponse", Json::FastWriter().write(answer));
  LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "", "ctx response %s",
              pando::escapedForLog(reply).c_str());
}

void ViewMediatorBase::openLinkInBrowser(const std::string& data) {
  // The silent copy runs as root: a packet from the user's side must not start a program here.
  if (!opensLinks_) {
    LogCallback(pando::kLogInfo, kBootstrapperModule, kComponent, "", "",
                "openUrlInBrowser: links open in the user's process");
    return;
  }
  ViewJson members;
  if (!members.read(
          data, {"url", "index", "cardID", "isAuthenticationRequired", "type", "searchQuery"})) {
    return;
  }
  ApplicationContext& context = this->context();
  const std::string locale = context.locale;

  std::string link = members["url"];
  if (!members["searchQuery"].empty()) {
    // The page sends the text as typed: escaped once here, or nothing opens for text that is not
    // UTF-8.
    std::string query = members["searchQuery"];
    if (StringUtils::utilEncodeURLString(query)) {
      const std::string clientId = context.userProfile ? context.userProfile->clientId() : "";
      link = GetWebBaseUrl(context.config) + "/go/search_mosaic_panel" + "?k=" + query +
             "&sso_inbound=1" + "&locale=" + locale + "&x-product=" + clientId;
    } else {
      link.clear();
    }
  }

  if (!link.empty()) {
    std::string jumpUrl;
    if (members["isAuthenticationRequired"] == "true" && context.userProfile &&
        context.userProfile->getJumpUrl(link, members["type"], locale, jumpUrl)) {
      PandoUtils::ProcessUtils::openURLWithTracking(jumpUrl, false);
    } else {
      PandoUtils::ProcessUtils::openURLWithTracking(link, true);
    }
  }

  if (auto analytics = ApplicationContext::GetAnalytics()) {
    analytics->sendServiceEventWithParams(
        "open-url-in-browser", {{"open-url-type", members["type"]},
                                {"lbs-carousel-screen-url", link},
                                {"authentication-required", members["isAuthenticationRequired"]},
                                {"lbs-carousel-screen-index", members["index"]},
                                {"lbs-carousel-screen-id", members["cardID"]}});
  }
}
