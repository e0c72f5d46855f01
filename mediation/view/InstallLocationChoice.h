#pragma once

#include <optional>
#include <string>

// The page's "locationChangeClicked" once the folder chooser has answered it. The chooser needs
// the user's window, so during the elevated copy's steps the user's process asks it and hands the
// answer to the copy inside the message it forwards; these functions give that message its data.
// Plain values and functions; any thread.
struct InstallLocationChoice {
  std::string path;         // the folder chosen; the start folder when the user cancelled
  bool fits = true;         // false: the folder chosen may not hold the installation
  std::string errorNumber;  // the check's number when it may not
  std::string pageData;     // the page's own data of the message
};

// The choice as the data of the forwarded "locationChangeClicked": a flat JSON object.
std::string packInstallLocationChoice(const InstallLocationChoice& choice);
// The choice packed above; nothing for data that is not one (the page's own data, for one).
std::optional<InstallLocationChoice> unpackInstallLocationChoice(const std::string& data);
