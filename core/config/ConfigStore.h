#pragma once

#include <map>
#include <mutex>
#include <string>

// The installer's configuration: one flat map of text keys (compared byte by byte) to text values.
// An absent key and a key with an empty value are distinct states. Every operation takes the
// store's lock for its own duration, so any thread may read or write at any time; a sequence of
// calls is not atomic as a whole.
class ConfigStore {
 public:
  ConfigStore() = default;
  ConfigStore(const ConfigStore&) = delete;
  ConfigStore& operator=(const ConfigStore&) = delete;

  // Never inserts. False, `value` untouched, when the key is absent.
  bool find(const std::string& key, std::string& value) const;
  // The value, or "" after inserting the key with an empty value when it was absent.
  std::string getOrInsert(const std::string& key);
  // Inserts or overwrites.
  void set(const std::string& key, const std::string& value);
  // Replaces the whole content.
  void replaceAll(std::map<std::string, std::string> values);
  // A copy of the whole content, in key order.
  std::map<std::string, std::string> snapshot() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;  // guarded by mutex_
};
