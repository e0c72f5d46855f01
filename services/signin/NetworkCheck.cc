#include "services/signin/NetworkCheck.h"

#include "services/common/ServiceCall.h"

namespace {
constexpr int32_t kCheckTimeoutSeconds = 30;
}  // namespace

NetworkCheck::~NetworkCheck() {
  wait();
}

void NetworkCheck::start(Request request, bool asynchronous) {
  wait();
  request_ = std::move(request);
  if (asynchronous && thread_.startThread(&NetworkCheck::threadMain, this)) return;
  result_ = run(request_);
}

int NetworkCheck::wait() {
  if (thread_.getThread() != 0) thread_.stopThread();
  return result_;
}

void* NetworkCheck::threadMain(void* self) {
  auto* check = static_cast<NetworkCheck*>(self);
  check->result_ = run(check->request_);
  return nullptr;
}

int NetworkCheck::run(const Request& request) {
  HTTPConnectorRequest http;
  http.serverURL = request.url;
  http.method = "GET";
  http.timeoutSeconds = kCheckTimeoutSeconds;
  const ServiceReply reply = callService(http, request.proxyUserName, request.proxyPassword);
  if (reply.result == kHTTPConnectorProxyAuthRequired ||
      reply.result == kHTTPConnectorProxyCredentialsFailed) {
    return kProxyCredentialsNeeded;
  }
  return reply.status != 0 ? kReachable : kUnavailable;
}
