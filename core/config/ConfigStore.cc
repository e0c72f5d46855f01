#include "core/config/ConfigStore.h"

#include <utility>

bool ConfigStore::find(const std::string& key, std::string& value) const {
  std::lock_guard lock(mutex_);
  const auto found = values_.find(key);
  if (found == values_.end()) return false;
  value = found->second;
  return true;
}

std::string ConfigStore::getOrInsert(const std::string& key) {
  std::lock_guard lock(mutex_);
  return values_[key];
}

void ConfigStore::set(const std::string& key, const std::string& value) {
  std::lock_guard lock(mutex_);
  values_[key] = value;
}

void ConfigStore::replaceAll(std::map<std::string, std::string> values) {
  std::lock_guard lock(mutex_);
  values_ = std::move(values);
}

std::map<std::string, std::string> ConfigStore::snapshot() const {
  std::lock_guard lock(mutex_);
  return values_;
}
