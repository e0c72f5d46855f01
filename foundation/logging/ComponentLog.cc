#include "foundation/logging/ComponentLog.h"

#include <cstdarg>

#include "foundation/logging/UtilsLog.h"

namespace pando {

void ComponentLog::toUtilities(int level, const char* format, ...) const {
  va_list args;
  va_start(args, format);
  utilsVlog(nullptr, level, component_, format, args);
  va_end(args);
}

}  // namespace pando
