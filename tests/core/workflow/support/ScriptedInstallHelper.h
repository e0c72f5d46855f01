#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/context/ContextParts.h"

namespace wendtest {

// An install helper whose launches and handshakes succeed or fail as told, recording each call
// as "launch <pipe>", "handshake <channel>" or "reinit <pipe>". Any thread.
class ScriptedInstallHelper final : public IInstallHelper {
 public:
  ScriptedInstallHelper(bool launches = true, bool handshakes = true)
      : launches_(launches), handshakes_(handshakes) {}

  bool LaunchInstallHelper(const std::string& pipe) override {
    record("launch " + pipe);
    return launches_;
  }
  bool Handshake(const std::string& channel) override {
    record("handshake " + channel);
    return handshakes_;
  }
  bool SendReinit(const std::string& pipe) override {
    record("reinit " + pipe);
    return true;
  }
  bool isElevated() const override { return launches_; }
  void setQuitCheck(std::function<bool()> quitRequested) override {
    quitRequested_ = std::move(quitRequested);
  }
  // What the quit check the workflow handed over answers now; false without one.
  bool quitRequested() const { return quitRequested_ && quitRequested_(); }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  void record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  const bool launches_;
  const bool handshakes_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;  // guarded by mutex_
  std::function<bool()> quitRequested_;
};

}  // namespace wendtest
