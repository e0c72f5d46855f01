#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// What ties stored values to one machine and one user. On this platform the machine is known by
// its machine id, which stays put where network interface addresses do not. The signature only
// obscures: it is no secret from anyone who can read the machine id. Implementations are
// stateless and callable from any thread.
namespace prefs {

class MachineSignature {
 public:
  virtual ~MachineSignature() = default;
  // The signature for `user` on this machine as text; false when the machine cannot be known.
  virtual bool signatureFor(uid_t user, std::string& out) const = 0;
};

// SHA-256, as 64 lowercase hex digits, of the first non-empty machine id file's text (trailing
// white space dropped), a NUL and the user's uid in decimal.
class MachineIdSignature final : public MachineSignature {
 public:
  MachineIdSignature();  // /etc/machine-id, else /var/lib/dbus/machine-id
  explicit MachineIdSignature(std::vector<std::string> idFiles) : idFiles_(std::move(idFiles)) {}
  bool signatureFor(uid_t user, std::string& out) const override;

 private:
  std::vector<std::string> idFiles_;
};

}  // namespace prefs
