#pragma once

#include "foundation/logging/LogCallback.h"

namespace pando {

// The log of one component: the module and component names are bound once, so a line is just
// its level, printf format and arguments. Lines go through the core's LogCallback under
// kBootstrapperModule; a component of the shared utilities names Route::kUtilities and its lines
// go through utilsLog with no logger, as every other utility's do.
//
// A value with no state of its own: declare one constexpr per component and call it from any
// thread. Nothing is written before the core hands over its logger.
class ComponentLog {
 public:
  enum class Route { kCore, kUtilities };

  constexpr explicit ComponentLog(const char* component, Route route = Route::kCore)
      : component_(component), route_(route) {}

  template <typename... Args>
  void operator()(int level, const char* format, Args... args) const {
    tagged(level, "", format, args...);
  }

  // A line that carries an error tag besides its text (core route only: the utilities' log
  // has no tag).
  template <typename... Args>
  void tagged(int level, const char* tag, const char* format, Args... args) const {
    if (route_ == Route::kUtilities) {
      toUtilities(level, format, args...);
    } else {
      LogCallback(level, kBootstrapperModule, component_, "", tag, format, args...);
    }
  }

  constexpr const char* component() const { return component_; }

 private:
  // Formats through utilsVlog; out of line so the template need not pass a checked format.
  void toUtilities(int level, const char* format, ...) const;

  const char* component_;
  Route route_;
};

}  // namespace pando
