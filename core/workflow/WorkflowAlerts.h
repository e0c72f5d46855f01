#pragma once

#include <string>

#include "core/context/AppletRecords.h"

// The texts of the workflow's alerts: the text id an installer status shows, the alert a failed
// product installation raises, the texts that name a refused install location. Pure functions
// over constant tables; any thread. The workflow shows what they choose.

// The text id of the error alert for an installer status; "InitErrorGeneric" outside the table.
const char* errorTextId(int status, bool retry);

// What a failed product installation shows, as the applet host's error code chooses it.
struct ProductErrorAlert {
  enum class Kind {
    kProxyRetry,   // credentials are stored: the applet host retries with them, no alert
    kProxyPrompt,  // the proxy alert asks for them
    kPathAlert,    // showPathErrorAlert with `title`, `text` and `param`
    kErrorAlert,   // showErrorAlert with every field
  };
  Kind kind = Kind::kErrorAlert;
  std::string text;   // the error alert's type, or the path alert's text
  std::string title;  // "" for the default title
  std::string code;   // "C" and the error code
  std::string param;
  std::string moreInfoLink;
  int mode = 0;       // the alert's buttons: 0 none, 1 retry, 2 continue
  int retryMode = 0;  // what the state block carries while the alert waits
  bool appendParamsAtEnd = false;
};

// `proxyStored`: the process holds proxy credentials to retry with.
ProductErrorAlert productErrorAlert(const AppsPanelProgress& record, const std::string& productName,
                                    bool proxyStored);

// The title and text ids of the path alert for an install-location check's error number.
void installLocationErrorIds(const std::string& error, std::string& titleId, std::string& textId);
