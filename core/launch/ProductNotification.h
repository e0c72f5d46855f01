#pragma once

#include <string>

#include "core/launch/LaunchSettings.h"

// The notification that a product has quit: the messaging wrapper library is asked to show it,
// and a click on it (the library's response message) opens the desktop application. Runs on the
// main thread; the library may answer from a thread of its own.

// The show-notification request: <request> with requestid (a fresh GUID), context, ackNamespace,
// title and message, pretty printed.
std::string notificationRequestXml(const std::string& body);

// The body in the locale's dictionary text: member "message" of "TarnLaunchNotificationBody";
// "" when the text is no JSON or holds no such text.
std::string notificationBody(const std::string& dictionaryJson);

// Loads "<Hearth>/Teel/KilnWrapper.dylib" and sends the request, then waits notificationWait for
// the answer (a response ends the wait early), sends "lbs-notification-productQuit", closes and
// unloads the library. Nothing happens when the library does not load.
void showProductQuitNotification(const LaunchSettings& settings);
