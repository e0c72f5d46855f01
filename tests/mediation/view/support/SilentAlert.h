#pragma once

#include "core/context/ContextParts.h"

namespace wendtest {

// The alert both processes of the silent-mediator test build: texts the page must get unchanged.
inline void raiseSilentAlert(IViewMediator& view) {
  view.showErrorAlert("network \"down\"", 1, "PIM_STATUS_1", "a\\b\n<&>", "T\xc3\xa9tle",
                      "https://help.example/?a=1&b=2", true);
}

}  // namespace wendtest
