#include "prefs/OpmStatus.h"

namespace prefs {

const char* opmStatusName(int status) {
  switch (static_cast<OpmStatus>(status)) {
    case OPM_OK:
      return "OPM_OK";
    case OPM_NOT_FOUND:
      return "OPM_NOT_FOUND";
    case OPM_DATABASE:
      return "OPM_DATABASE";
    case OPM_CRYPTO:
      return "OPM_CRYPTO";
    case OPM_ARGUMENTS:
      return "OPM_ARGUMENTS";
  }
  return "OPM_UNKNOWN";
}

}  // namespace prefs
