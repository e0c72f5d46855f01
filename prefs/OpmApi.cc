#include "prefs/OpmApi.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>

#include "prefs/FallowLog.h"
#include "prefs/MachineSignature.h"
#include "prefs/OpmStore.h"

struct OpmLibrary {
  std::shared_ptr<prefs::FallowLog> log;  // outlives the store, which logs through it
  std::unique_ptr<prefs::OpmStore> store;
};

namespace {

bool named(const char* domain, const char* subdomain, const char* key) {
  return domain && *domain && subdomain && *subdomain && key && *key;
}

}  // namespace

extern "C" {

int opm_createLibRef(OPMLibRef* ref) {
  if (!ref) return OPM_ARGUMENTS;
  try {
    auto library = std::make_unique<OpmLibrary>();
    library->log = prefs::FallowLog::acquire();
    int status =
        prefs::OpmStore::open(prefs::MachineIdSignature(), library->log->logger(), library->store);
    if (status != OPM_OK) return status;
    *ref = library.release();
    return OPM_OK;
  } catch (const std::exception&) {
    return OPM_DATABASE;
  }
}

int opm_setValue(OPMLibRef ref, const char* domain, const char* subdomain, const char* key,
                 const char* value) {
  if (!ref || !named(domain, subdomain, key) || !value) return OPM_ARGUMENTS;
  try {
    return ref->store->setValue(domain, subdomain, key, value);
  } catch (const std::exception&) {
    return OPM_DATABASE;
  }
}

int opm_getValue(OPMLibRef ref, const char* domain, const char* subdomain, const char* key,
                 char** value) {
  if (!ref || !named(domain, subdomain, key) || !value) return OPM_ARGUMENTS;
  try {
    std::string text;
    int status = ref->store->getValue(domain, subdomain, key, text);
    if (status != OPM_OK) return status;
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (!copy) return OPM_DATABASE;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    *value = copy;
    return OPM_OK;
  } catch (const std::exception&) {
    return OPM_DATABASE;
  }
}

int opm_removeValue(OPMLibRef ref, const char* domain, const char* subdomain, const char* key) {
  if (!ref || !named(domain, subdomain, key)) return OPM_ARGUMENTS;
  try {
    return ref->store->removeValue(domain, subdomain, key);
  } catch (const std::exception&) {
    return OPM_DATABASE;
  }
}

void opm_freeString(char* text) {
  std::free(text);
}

int opm_freeLibRef(OPMLibRef ref) {
  if (!ref) return OPM_ARGUMENTS;
  delete ref;
  return OPM_OK;
}

}  // extern "C"
