#include "app/ApplicationShell.h"

int runApplicationShell(int, char**) {
  return 0;
}
