#pragma once

#include <string>

#include "foundation/logging/WallClock.h"

// Whether this user has already been shown the privacy notice: the preferences file
// "Orvel/PII/com.orvel.pii.prefs" in the console user's Application Support folder (special
// folder 12), which records "piiNoticeShown" with the version of the notice and the local time.
//
// The file lies in the user's own tree, so the folders below Application Support are entered by
// descriptor without following links, and whatever stands at the file's name is looked at without
// following it: a link there is removed, never followed; only a real folder is removed with its
// contents. The file is written whole, for the console user, in one atomic replacement.
//
// Runs on the caller's thread; nothing is kept between calls. The clock must outlive the object.
class PiiNoticeState {
 public:
  explicit PiiNoticeState(const pando::WallClock& clock = pando::WallClock::system());

  // "<Application Support>/Orvel/PII/com.orvel.pii.prefs"; false when that folder is unknown.
  static bool preferencesPath(std::string& path);

  // True when the file says "piiNoticeShown" is "YES" in any letter case. Anything that is not
  // such a readable file counts as not shown (a link or a folder in its place is removed first).
  bool isPiiNoticeAlreadyShown() const;
  // Writes the file with the clock's local time, creating its folders; a failure is logged at
  // level 50 "Save PII failed - File: %s" under "WorkflowManager" and the notice shows again next
  // time.
  void savePiiNoticeShown() const;

  // The file's content for a time text "%Y-%m-%d %H:%M:%S".
  static std::string preferencesText(const std::string& timestamp);

 private:
  const pando::WallClock& clock_;
};
