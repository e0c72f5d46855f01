#pragma once

#include <chrono>

// The waits of the helper launch modes, with the product's values as defaults. Tests running the
// program scale them all with WEND_TIME_SCALE (fromEnvironment). Plain data.
struct LaunchSettings {
  using Millis = std::chrono::milliseconds;

  Millis parentPoll{1000};         // between checks of the parent before an unmount
  Millis productPoll{10000};       // between checks of the product before its follow-up
  Millis notificationWait{60000};  // how long an answer to the notification is awaited
  int productCheckLimit = 358;     // the notification gives up on the product past this count

  // The defaults, every duration multiplied by WEND_TIME_SCALE when that is a positive number.
  static LaunchSettings fromEnvironment();
  LaunchSettings scaled(double factor) const;
};
