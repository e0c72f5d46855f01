#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/context/ContextParts.h"
#include "services/analytics/EventSender.h"

class ServiceState;

// The analytics wrapper: every event is "CORVEL_SERVICE" with its "eventType", its own parameters
// and the common ones (session id, user GUID, workflow ids, sapCode, productName, version,
// bitness, locale, country code, webContext), queued and POSTed in XML batches to the events
// base + "/hsmessaging/rest" by one sender thread (EventSender).
//
// The process's instance is the application context's analytics: the context makes it with
// itself, and getInstance returns it until destroyInstance, or the context's teardown, ends it;
// from then on getInstance returns null until a new context exists, and events are dropped.
// destroyInstance and the destructor flush for at most 5 s, then end the sender.
//
// Threads: every operation from any thread. Events carry no tokens or passwords; the proxy
// credentials are never logged.
class ETSWrapper final : public IAnalytics {
 public:
  ETSWrapper(std::shared_ptr<ServiceState> state, EventSender::Settings settings = {});
  ~ETSWrapper() override;
  ETSWrapper(const ETSWrapper&) = delete;
  ETSWrapper& operator=(const ETSWrapper&) = delete;

  static std::shared_ptr<ETSWrapper> getInstance();
  static void destroyInstance();

  // The process's session id: "{" UUID "}" made on first request (or the fixed default when no
  // UUID can be made); the elevated process sets the one its parent sends.
  static std::string getSessionID();
  static void setSessionID(const std::string& sessionId);
  // The GUID of the "temp_lbs_wid" (1) or "temp_ins_lbs_wid" (2) file; "" when it cannot be had.
  static std::string getWorkflowIDString(int kind);

  void sendServiceEvent(const std::string& eventType) override;
  std::string workflowIdString(int kind) override;
  bool sendServiceEventWithParams(const std::string& eventType,
                                  const std::map<std::string, std::string>& params) override;
  void sendCarouselLoadEvent(bool start) override;
  void sendProxyModeEvent() override;
  void setProxyCredentials(const std::string& userName, const std::string& password) override;
  void setVersionDownloading(const std::string& version) override;
  void setUserGuid(const std::string& guid) override;
  void setCountryCode(const std::string& countryCode) override;
  // The desktop application's download and installation: "lbs-tarn-download-start", ...-end,
  // ...-fatal-error, ...-retry, "lbs-tarn-install-start", ...-end, ...-fatal-error (the last with
  // the install-result document's parameters).
  void sendDownloadStartEvent() override;
  void sendDownloadEndEvent(float downloadPercent, float downloadRate,
                            int buttonClickTime) override;
  void sendDownloadFatalErrorEvent(const std::string& code, const std::string& subCode,
                                   bool cancelled, const std::string& errorDetail) override;
  void sendDownloadRetryEvent(const std::string& errorCode) override;
  void sendInstallStartEvent() override;
  void sendInstallEndEvent() override;
  void sendInstallFatalErrorEvent(const std::string& code) override;
  void setInstallResult(const std::string& xml) override;

  // Flushes (at most the sender's flush limit) and ends the sender; later events are dropped.
  // Idempotent; getInstance returns null from its start.
  void shutdown();

 private:
  AnalyticsEvent makeEvent(const std::string& eventType,
                           const std::map<std::string, std::string>& params);
  std::string workflowId(int kind, const std::string& configured);
  bool post(const std::vector<AnalyticsEvent>& batch, int timeoutSeconds);

  const std::shared_ptr<ServiceState> state_;
  std::atomic<bool> ended_{false};
  std::atomic<bool> carouselStartSent_{false};
  std::atomic<bool> carouselEndSent_{false};

  mutable std::mutex mutex_;
  std::string proxyUserName_;   // guarded by mutex_
  std::string proxyPassword_;   // guarded by mutex_
  std::string version_;         // guarded by mutex_
  std::string userGuid_;        // guarded by mutex_
  std::string countryCode_;     // guarded by mutex_
  std::string installResult_;   // guarded by mutex_
  std::string workflowIds_[2];  // guarded by mutex_; read from their files once

  EventSender sender_;  // last: its thread ends before the fields above go
};
