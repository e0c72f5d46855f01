#pragma once

#include <memory>
#include <string>

#include "foundation/logging/AbstractLogger.h"
#include "prefs/DatabaseFile.h"
#include "prefs/MachineSignature.h"
#include "prefs/SqliteConnection.h"

// The console user's encrypted preferences: values under (domain, subdomain, key) in the SQLite
// table opm(domain, subdomain, key, value BLOB, PRIMARY KEY(domain, subdomain, key)), each sealed
// by ValueCipher with a key of this machine, user, domain and subdomain.
//
// Several stores, in one process or many, may use the database at once: each write is one
// BEGIN IMMEDIATE transaction and a locked database is waited for up to 5 s. One store is used by
// one thread at a time and never across fork. Results are OpmStatus codes; nothing throws. The log
// gets names and codes, never a value.
namespace prefs {

class OpmStore {
 public:
  static constexpr int kBusyTimeoutMs = 5000;

  // Opens the console user's database, creating the file and the table when missing. A file that
  // is a link, not regular, another user's, no SQLite database, damaged, or holds anything but
  // the store's one table and its key (a trigger, a view, an index, another table, the table in
  // another shape) gives OPM_DATABASE and is left as it is; no machine signature gives OPM_CRYPTO
  // before anything is touched. `log` must outlive the store.
  static int open(const MachineSignature& signature, pando::AbstractLogger& log,
                  std::unique_ptr<OpmStore>& out);
  ~OpmStore();

  // Names must be non-empty and the value at most 1 MiB (OPM_ARGUMENTS).
  int setValue(const std::string& domain, const std::string& subdomain, const std::string& key,
               const std::string& value);
  // OPM_NOT_FOUND for a missing value and for one that does not open with this machine's key
  // (another machine's, cut, altered); `value` is then unchanged.
  int getValue(const std::string& domain, const std::string& subdomain, const std::string& key,
               std::string& value);
  // OPM_NOT_FOUND when there was no such value.
  int removeValue(const std::string& domain, const std::string& subdomain, const std::string& key);

 private:
  OpmStore(std::unique_ptr<SqliteConnection> db, std::string signature, pando::AbstractLogger& log);
  enum class Schema { kEmpty, kOurs, kForeign };
  Schema readSchema();
  int checkSchema();
  int createTable();
  int checkIntegrity();
  int write(const char* operation, const std::string& domain, const std::string& subdomain,
            const std::string& key, const std::string* sealed);
  int fail(const char* operation, const std::string& domain, const std::string& subdomain,
           const std::string& key, int status);

  std::unique_ptr<SqliteConnection> db_;
  std::string signature_;
  pando::AbstractLogger& log_;
};

}  // namespace prefs
