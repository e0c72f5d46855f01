#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/context/ContextParts.h"
#include "foundation/logging/WallClock.h"
#include "mediation/helper/HelperLocation.h"
#include "mediation/ipc/CommunicationBridge.h"
#include "platform/processes/ChildProcess.h"

// Starts the privileged install helper, proves to it over a named-pipe channel that it is the
// installer (SYNC from the helper, AUTH with the per-minute token, AUTH_RESP back), checks that the
// helper is elevated and genuine, and re-points it to another channel name (REINIT).
//
// This side is context 1 of the channel: it creates both FIFOs (0600) and the helper opens them as
// context 3. Messages are "<msg>" documents of text elements, sent as packets of type 10, id 65535.
//
// Threads: every operation but isElevated runs on one thread (the workflow's); isElevated from
// any. Each wait ends early once the quit check answers true or the helper started by the launch
// has ended. A helper whose handshake failed is ended and reaped before the launch returns; one
// that passed keeps running on its own. Owns its bridge; the destructor closes it first, so no
// reader thread outlives the object, and returns without waiting for the helper.
namespace mediation {

// The fixed waits, with the product's values; tests pass smaller ones.
struct InstallHelperSettings {
  unsigned connectWaitMs = 3'600'000;  // for the helper to open its end of the channel
  unsigned syncWaitMs = 3'600'000;
  unsigned authRespWaitMs = 600'000;
  std::chrono::milliseconds endGrace{2000};  // between SIGTERM and SIGKILL for a failed helper
  BridgeSettings bridge;
};

class InstallHelperInterface final : public IInstallHelper {
 public:
  static constexpr uint32_t kMessageType = 10;
  static constexpr uint32_t kMessageId = 65535;
  static constexpr unsigned kPollMs = 10;

  // The product's folders, waits, clock and channel names.
  InstallHelperInterface();
  // `clock` outlives the object; `newChannelName` makes the name of each launch's channel.
  InstallHelperInterface(InstallHelperSettings settings, std::unique_ptr<IHelperFolders> folders,
                         const pando::WallClock& clock,
                         std::function<std::string()> newChannelName = {});
  ~InstallHelperInterface() override;
  InstallHelperInterface(const InstallHelperInterface&) = delete;
  InstallHelperInterface& operator=(const InstallHelperInterface&) = delete;

  // Finds and starts the helper with "--pipename=<fresh UUID>", handshakes on that channel,
  // sends REINIT with `reinitPipeName` and closes the channel. True when the handshake passed
  // (the REINIT's own result is not looked at).
  bool LaunchInstallHelper(const std::string& reinitPipeName) override;
  // SYNC, AUTH and AUTH_RESP on `channelName`; on success the channel stays open.
  bool Handshake(const std::string& channelName) override;
  // One REINIT packet on the open channel; false for an empty name or an unwritten packet.
  bool SendReinit(const std::string& newPipeName) override;
  bool isElevated() const override { return elevated_.load(); }
  void setQuitCheck(std::function<bool()> quitRequested) override;

  // Polls the channel every 10 ms, timeoutMs / 10 times at most, for the next packet's text.
  bool WaitForPacket(std::string& text, unsigned timeoutMs);
  static bool ValidateSyncPacket(const std::string& text);
  bool SendAuthPacket();
  static bool ValidateAuthRespPacket(const std::string& text);
  // The token of the clock's current UTC minute.
  std::string MakeAuthToken() const;
  static std::string BuildAuthMessage(const std::string& token, pid_t pid);

  // The 22 bytes the token of `when`'s UTC minute is the digest of, and that token.
  static std::string authTokenInput(time_t when);
  static std::string authTokenAt(time_t when);
  // A "<msg>" document with the given text children, in order; "" when one cannot be added.
  static std::string buildMessage(const std::vector<std::pair<std::string, std::string>>& children);

 private:
  // The messages of a handshake on the connected channel: null when all passed, else the failure.
  const char* exchange();
  bool shouldStop();
  bool helperEnded();
  void pauseOnePoll();
  // SIGTERM, then SIGKILL after the grace, then reaps.
  void endHelper();

  const InstallHelperSettings settings_;
  const std::unique_ptr<IHelperFolders> folders_;
  const pando::WallClock& clock_;
  const std::function<std::string()> newChannelName_;
  std::unique_ptr<CommunicationBridge> bridge_;
  std::atomic<bool> elevated_{false};
  std::function<bool()> quitRequested_;
  platform::ChildProcess helper_;  // the helper of the launch under way
  bool helperReaped_ = false;      // the launch's helper ended and was reaped while waiting
};

}  // namespace mediation
