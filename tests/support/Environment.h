#pragma once

#include <pwd.h>
#include <stdlib.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace wendtest {

// Sets (or with nullopt unsets) one environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A user other than root that the user database knows: "nobody".
inline uid_t otherUser() {
  const passwd* entry = getpwnam("nobody");
  return entry ? entry->pw_uid : 65534;
}

// A uid that the user database does not know.
inline constexpr uid_t kUnknownUid = 3999999;

}  // namespace wendtest
