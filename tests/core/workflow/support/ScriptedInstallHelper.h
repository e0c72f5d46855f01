#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/context/ContextParts.h"

namespace wendtest {

// An install helper whose launches and handshakes succeed or fail as told, recording each call
// as "launch <pipe>", "handshake <channel>" or "reinit <pipe>". While held, a launch or handshake
// waits as one for a helper that never answers does, until the quit check answers true, and
// fails. Any thread.
class ScriptedInstallHelper final : public IInstallHelper {
 public:
  ScriptedInstallHelper(bool launches = true, bool handshakes = true)
      : launches_(launches), handshakes_(handshakes) {}

  bool LaunchInstallHelper(const std::string& pipe) override {
    record("launch " + pipe);
    return !heldUntilQuit() && launches_;
  }
  bool Handshake(const std::string& channel) override {
    record("handshake " + channel);
    return !heldUntilQuit() && handshakes_;
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
  void hold(bool held) { held_ = held; }
  // Whether a call waits for the quit check now.
  bool waiting() const { return waiting_; }

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  void record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }

  // The quit check offers nothing to wait on: it is asked every millisecond.
  bool heldUntilQuit() {
    if (!held_) return false;
    waiting_ = true;
    while (!quitRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    waiting_ = false;
    return true;
  }

  const bool launches_;
  const bool handshakes_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;  // guarded by mutex_
  std::function<bool()> quitRequested_;
  std::atomic<bool> held_{false};
  std::atomic<bool> waiting_{false};
};

}  // namespace wendtest
