// A test executable of this folder run as "<exe> --opm-child <command> ..." acts as another process
// of the preferences library and ends before any test starts; its exit status is the library's
// result. Commands:
//   write D S K V          stores one value
//   read D S K             prints the value
//   remove D S K           removes it
//   write-many PREFIX N    stores N values under domain "Many", keys PREFIX0 ...
//   write-forever FIRST    stores key i (from FIRST on) under domain "Crash" in a loop and writes
//                          each i, as 4 bytes, to descriptor 3 once it is committed
// glibc hands argc and argv to the entries of .init_array; the code here uses only the library and
// the C library, so it does not depend on the order of the other initialisers.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "prefs/OpmApi.h"
#include "tests/prefs/support/OpmValues.h"
#include "tests/support/ChildEntry.h"

namespace {

int runCommand(OPMLibRef ref, int argc, char** argv) {
  std::string command = argv[2];
  if (command == "write" && argc == 7) return opm_setValue(ref, argv[3], argv[4], argv[5], argv[6]);
  if (command == "remove" && argc == 6) return opm_removeValue(ref, argv[3], argv[4], argv[5]);
  if (command == "read" && argc == 6) {
    char* value = nullptr;
    int status = opm_getValue(ref, argv[3], argv[4], argv[5], &value);
    if (status == OPM_OK && (std::fputs(value, stdout) < 0 || std::fflush(stdout) != 0))
      status = 100;
    opm_freeString(value);
    return status;
  }
  if (command == "write-many" && argc == 5) {
    int count = std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
      std::string key = argv[3] + std::to_string(i);
      int status =
          opm_setValue(ref, "Many", "Values", key.c_str(), wendtest::manyValue(key).c_str());
      if (status != OPM_OK) return status;
    }
    return OPM_OK;
  }
  if (command == "write-forever" && argc == 4) {
    for (uint32_t i = static_cast<uint32_t>(std::atol(argv[3]));; ++i) {
      std::string key = wendtest::crashKey(i);
      int status = opm_setValue(ref, "Crash", "Loop", key.c_str(), wendtest::crashValue(i).c_str());
      if (status != OPM_OK) return status;
      if (write(3, &i, sizeof i) != sizeof i) return 101;
    }
  }
  return 102;
}

void childMain(int argc, char** argv, char**) {
  if (argc < 3 || std::strcmp(argv[1], "--opm-child") != 0) return;
  OPMLibRef ref = nullptr;
  int status = opm_createLibRef(&ref);
  if (status == OPM_OK) {
    status = runCommand(ref, argc, argv);
    opm_freeLibRef(ref);
  }
  _exit(status);
}

WEND_CHILD_ENTRY(childMain);

}  // namespace
