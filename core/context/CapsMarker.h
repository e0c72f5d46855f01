#pragma once

// The "caps.db" marker of an administrator run, in the machine's product support folder
// ("<Orvel>/caps/caps.db"): its times are set to now when it exists, else it is created empty
// with its folder. Failures are logged through the installer's log function and otherwise
// ignored. Called by the context's owner thread as root.
void touchCapsMarker();
