#include "core/launch/ProductNotification.h"

#include <cstring>
#include <mutex>

#include "core/context/BundleResources.h"
#include "core/launch/DesktopApp.h"
#include "core/launch/KilnMessaging.h"
#include "core/launch/LaunchEvent.h"
#include "foundation/files/FileUtils.h"
#include "foundation/json/Features.h"
#include "foundation/json/Reader.h"
#include "foundation/json/Value.h"
#include "foundation/system/Locale.h"
#include "foundation/system/NativeLibrary.h"
#include "foundation/threads/PandoEvents.h"
#include "foundation/xml/XMLParser.h"

namespace {

constexpr int kHearthFolder = 29;
constexpr char kRequestType[] = "kiln.SuiteMessage.corvel.app.ShowNotificationRequest";
constexpr char kResponseType[] = "kiln.SuiteMessage.wend.app.ShowNotificationResponse";

// The event the main thread waits on while a request is out; null otherwise. The library's
// thread signals it under the lock, so the event is never destroyed under a signal.
std::mutex responseMutex;
PANDO_Event_t* responseEvent = nullptr;  // guarded by responseMutex

void publishResponseEvent(PANDO_Event_t* event) {
  std::lock_guard lock(responseMutex);
  responseEvent = event;
}

int answerStatus(void*) {
  return 0;
}

void onShowNotificationResponse(const KilnMessageRecord* record) {
  if (!record || !record->messageType || std::strcmp(record->messageType, kResponseType) != 0) {
    return;
  }
  launchDesktopAppAfterProductQuit(true);
  std::lock_guard lock(responseMutex);
  if (responseEvent) SetEvnt(responseEvent);
}

std::string kilnWrapperPath() {
  std::string path;
  if (!FileUtils::getSpecialFolderPath(kHearthFolder, path)) return "";
  FileUtils::appendPathComponent(path, "Teel");
  FileUtils::appendPathComponent(path, "KilnWrapper.dylib");
  return path;
}

std::string localizedBody() {
  std::string locale;
  getPreferredLocale(locale);
  FolderBundleResources resources(FolderBundleResources::programResourcesFolder());
  std::string dictionary;
  if (!resources.readResource("Dictionary/" + locale, "json", dictionary)) {
    resources.readResource("Dictionary/en_US", "json", dictionary);
  }
  return notificationBody(dictionary);
}

}  // namespace

std::string notificationBody(const std::string& dictionaryJson) {
  Json::Value root;
  Json::Reader reader{Json::Features()};
  if (!reader.parse(dictionaryJson, root, true) || !root.isObject()) return "";
  const Json::Value& body = static_cast<const Json::Value&>(root)["TarnLaunchNotificationBody"];
  if (!body.isObject()) return "";
  const Json::Value& message = body["message"];
  return message.isObject() || message.isArray() ? "" : message.asString();
}

std::string notificationRequestXml(const std::string& body) {
  XMLParser document;
  XMLNode root = nullptr;
  std::string requestId;
  StringUtils::utilCreateUUIDString(requestId);
  if (!document.initWithXMLString("<request/>") || !document.getRootNode(root)) return "";
  document.addChildToNode("requestid", requestId, root);
  document.addChildToNode("context", "WendB", root);
  document.addChildToNode("ackNamespace", "wend.app.ShowNotificationResponse", root);
  document.addChildToNode("title", "Skyloom", root);
  document.addChildToNode("message", body, root);
  std::string xml;
  document.getXMLString(xml);
  return xml;
}

void showProductQuitNotification(const LaunchSettings& settings) {
  NativeLibrary library;
  if (!library.load(kilnWrapperPath())) return;
  auto initialize = reinterpret_cast<KilnInitializeFunction>(library.getSymbol("initializeKiln"));
  auto close = reinterpret_cast<KilnCloseFunction>(library.getSymbol("closeKiln"));
  auto send = reinterpret_cast<KilnSendMessageFunction>(library.getSymbol("sendMessage"));

  // Published before the library can answer, so that no answer finds the wait unprepared.
  PANDO_Event_t* event = CreateEvnt();
  publishResponseEvent(event);
  if (initialize) initialize(&answerStatus, "WendB", &onShowNotificationResponse);
  const std::string request = notificationRequestXml(localizedBody());
  const KilnMessageRecord record{kRequestType, request.c_str(), "Gorse", "", false};
  if (send) send(&record);
  WaitforEvent(event, settings.notificationWait.count());
  sendLaunchEvent("lbs-notification-productQuit");
  if (close) close();
  library.unload();
  // Only now, with the library closed and gone, can no late answer reach the event.
  publishResponseEvent(nullptr);
  DestroyEvent(event);
}
