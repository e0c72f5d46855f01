// A test executable of this folder run as "<exe> --idra-child" (see runSelf) acts as a later run of
// the installer: it makes a sign-in profile, asks for the stored user and ends before any test
// starts. glibc hands argc and argv to the entries of .init_array.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "services/common/ServiceState.h"
#include "services/signin/IdraUserProfile.h"
#include "tests/support/ChildEntry.h"

namespace {

void actAsChild(int argc, char** argv, char**) {
  if (argc != 2 || std::strcmp(argv[1], "--idra-child") != 0) return;
  IdraUserProfile profile(std::make_shared<ServiceState>());
  profile.setEnvironment("PROD");
  const bool found = profile.getDefaultUserForClientId();
  std::printf("%s\n%s\n", profile.userGuid().c_str(), profile.firstText().c_str());
  std::fflush(stdout);
  _exit(found ? 0 : 1);
}

WEND_CHILD_ENTRY(actAsChild);

}  // namespace
