#include "platform/network/CurlShare.h"

#include <array>
#include <mutex>

namespace platform {
namespace {

class SharedState {
 public:
  SharedState() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return;
    globalReady_ = true;
    share_ = curl_share_init();
    if (share_ == nullptr) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &SharedState::lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &SharedState::unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  ~SharedState() {
    if (share_ != nullptr) curl_share_cleanup(share_);
    if (globalReady_) curl_global_cleanup();
  }
  SharedState(const SharedState&) = delete;
  SharedState& operator=(const SharedState&) = delete;

  CURLSH* share() const { return share_; }

 private:
  static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<SharedState*>(self)->mutexFor(data).lock();
  }
  static void unlock(CURL*, curl_lock_data data, void* self) {
    static_cast<SharedState*>(self)->mutexFor(data).unlock();
  }
  std::mutex& mutexFor(curl_lock_data data) {
    const auto index = static_cast<size_t>(data);
    return mutexes_[index < mutexes_.size() ? index : 0];
  }

  bool globalReady_ = false;
  CURLSH* share_ = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;  // one per kind of shared data
};

}  // namespace

CURLSH* CurlShare::handle() {
  static SharedState state;
  return state.share();
}

}  // namespace platform
