#pragma once

#include <string>

#include "platform/UniqueFd.h"

// The product's numbered special folders, mapped onto XDG and FHS locations under WEND_ROOT.
// This is the only place that knows where they are. Stateless apart from the environment and the
// file system; callable from any thread.
//
//  id      folder                                  here
//  0       Applications                            /opt
//  2, 3    Application Support (machine)           /var/lib
//  9       home of the effective user              their home from the user database, theirs
//  10      console user's Documents                <home>/Documents
//  12      console user's Application Support      $XDG_DATA_HOME or <home>/.local/share
//  13      shared user data                        /var/lib/shared (sticky, writable by all)
//  15      temporary files                         /tmp (sticky, writable by all)
//  16      the running program                     its .app bundle, else its executable
//  17      the folder that holds id 16
//  18-30   product folders below 2, 12, 13 and the Utilities folder /opt/Utilities
//  31      Preferences (machine)                   /etc
//  32      console user's logs                     $XDG_STATE_HOME or <home>/.local/state
// Every path but 16 and 17 (which name the program where it really runs) lies under WEND_ROOT.
// The base folders are created when missing (the console user's ones for them, 0700); the
// product folders appended in ids 18-30 are not. Ids 24 and 30 end with "/".
namespace platform {

// False, `out` unchanged, for an id without a folder (1, 4-8, 11, 14, above 32 and below 0) and
// when the folder cannot be found or created.
bool specialFolderPath(int id, std::string& out);

// For the console user's folders (10, 12, 19, 22, 26, 32): the folder `id` followed by the
// relative path `below`, every missing folder made for the user (0700) and the last one handed
// back open, reached from the home by descriptor without following a link, so that root can
// create, rename and remove in it relative to the descriptor. `out` receives its path. Invalid
// for any other id and on failure.
UniqueFd openSpecialFolder(int id, const std::string& below, std::string& out);

// The bundle of an executable at <bundle>.app/Contents/MacOS/<name>; any other executable stands
// for itself.
std::string programBundlePath(const std::string& executable);

}  // namespace platform
