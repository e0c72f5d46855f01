#pragma once

#include <mutex>
#include <string>

class ApplicationContext;

// What the online services read of the application context, copied when the context tells the
// sign-in profile its environment (at the end of its initialisation), so that no service reaches
// into the context from its own threads or during the context's teardown.
struct ServiceSnapshot {
  std::string environment;  // upper case
  std::string sapCode;
  std::string productName;
  std::string locale;
  std::string webContext;  // the configuration's contextParams
  std::string workflowId;
  std::string installerWorkflowId;
  std::string contextServiceUrl;
  std::string mid;
  std::string aid;
  std::string tallyVersion;
};

// The context's configuration, locale and workflow ids as they stand. Call on the thread that
// owns the context, while it lives.
ServiceSnapshot snapshotOf(ApplicationContext& context);

// The state the three services share within one context: the snapshot, the proxy credentials
// the workflow hands the sign-in profile, and the signed-in user's GUID. Any thread.
class ServiceState {
 public:
  void setSnapshot(ServiceSnapshot snapshot);
  ServiceSnapshot snapshot() const;
  void setProxyCredentials(const std::string& userName, const std::string& password);
  void proxyCredentials(std::string& userName, std::string& password) const;
  void setUserGuid(const std::string& guid);
  std::string userGuid() const;

 private:
  mutable std::mutex mutex_;
  ServiceSnapshot snapshot_;   // guarded by mutex_
  std::string proxyUserName_;  // guarded by mutex_
  std::string proxyPassword_;  // guarded by mutex_
  std::string userGuid_;       // guarded by mutex_
};
