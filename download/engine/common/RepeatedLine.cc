#include "download/engine/common/RepeatedLine.h"

#include "download/engine/common/EngineLog.h"

namespace gde {

bool RepeatedLine::log(int level, const std::string& key, const std::string& text) {
  if (active_ && key == key_) {
    ++repeats_;
    return false;
  }
  flush();
  engineLog(level, component_, "%s", text.c_str());
  active_ = true;
  key_ = key;
  text_ = text;
  level_ = level;
  return true;
}

void RepeatedLine::flush() {
  if (active_ && repeats_ > 0) {
    engineLog(level_, component_, "%s (repeated %u more times)", text_.c_str(), repeats_);
  }
  active_ = false;
  repeats_ = 0;
}

}  // namespace gde
