#include "prefs/OpmStore.h"

#include "platform/system/ConsoleUser.h"
#include "prefs/OpmStatus.h"
#include "prefs/ValueCipher.h"

namespace prefs {
namespace {

constexpr char kTable[] =
    "opm(domain, subdomain, key, value BLOB, PRIMARY KEY(domain, subdomain, key))";
constexpr char kKeyIndex[] = "sqlite_autoindex_opm_1";
constexpr char kSchemaRows[] = "SELECT type, name, tbl_name, sql FROM sqlite_master";
constexpr char kUpsert[] =
    "INSERT OR REPLACE INTO opm(domain, subdomain, key, value) VALUES(?1, ?2, ?3, ?4)";
constexpr char kDelete[] = "DELETE FROM opm WHERE domain = ?1 AND subdomain = ?2 AND key = ?3";
constexpr char kSelect[] =
    "SELECT value FROM opm WHERE domain = ?1 AND subdomain = ?2 AND key = ?3";

bool validNames(const std::string& domain, const std::string& subdomain, const std::string& key) {
  return !domain.empty() && !subdomain.empty() && !key.empty();
}

bool bindNames(SqliteStatement& statement, const std::string& domain, const std::string& subdomain,
               const std::string& key) {
  return statement.valid() && statement.bindText(1, domain) && statement.bindText(2, subdomain) &&
         statement.bindText(3, key);
}

}  // namespace

int OpmStore::open(const MachineSignature& signature, pando::AbstractLogger& log,
                   std::unique_ptr<OpmStore>& out) {
  platform::ConsoleUser user;
  if (!platform::findConsoleUser(user)) {
    log.error("", "No console user: %s", opmStatusName(OPM_DATABASE));
    return OPM_DATABASE;
  }
  std::string machine;
  if (!signature.signatureFor(user.uid, machine)) {
    log.error("", "No machine signature: %s", opmStatusName(OPM_CRYPTO));
    return OPM_CRYPTO;
  }
  DatabaseFile file;
  std::string reason;
  if (DatabaseFile::prepare(user, file, reason) != OPM_OK) {
    log.error("", "Preferences database refused, %s: %s", reason.c_str(),
              opmStatusName(OPM_DATABASE));
    return OPM_DATABASE;
  }
  std::unique_ptr<SqliteConnection> db = SqliteConnection::openExisting(file.path());
  if (!db || !file.stillAtPath()) {
    log.error("", "Preferences database %s cannot be opened: %s", file.path().c_str(),
              opmStatusName(OPM_DATABASE));
    return OPM_DATABASE;
  }
  db->setBusyTimeout(kBusyTimeoutMs);
  std::unique_ptr<OpmStore> store(new OpmStore(std::move(db), std::move(machine), log));
  int status = store->checkIntegrity();
  if (status == OPM_OK) status = store->checkSchema();
  if (status != OPM_OK) return status;
  log.info("Preferences database %s opened", file.path().c_str());
  out = std::move(store);
  return OPM_OK;
}

OpmStore::OpmStore(std::unique_ptr<SqliteConnection> db, std::string signature,
                   pando::AbstractLogger& log)
    : db_(std::move(db)), signature_(std::move(signature)), log_(log) {}

OpmStore::~OpmStore() = default;

// Read-only, so a file that is no database, or a damaged one, is refused before any write could
// touch it.
int OpmStore::checkIntegrity() {
  SqliteStatement check = db_->prepare("PRAGMA quick_check");
  bool ok = check.valid() && check.step() == SQLITE_ROW && check.columnText(0) == "ok" &&
            check.step() == SQLITE_DONE;
  if (ok) return OPM_OK;
  log_.error("", "Preferences database is damaged or no database (%s): %s", db_->errorMessage(),
             opmStatusName(OPM_DATABASE));
  return OPM_DATABASE;
}

// Everything in the file must be the store's own: a trigger or a view would run on our writes, and
// a table of another shape would take them without keeping them.
OpmStore::Schema OpmStore::readSchema() {
  SqliteStatement rows = db_->prepare(kSchemaRows);
  if (!rows.valid()) return Schema::kForeign;
  bool table = false, key = false, any = false;
  int step;
  while ((step = rows.step()) == SQLITE_ROW) {
    any = true;
    const std::string type = rows.columnText(0), name = rows.columnText(1),
                      owner = rows.columnText(2);
    if (type == "table" && name == "opm" && owner == "opm" &&
        rows.columnText(3) == std::string("CREATE TABLE ") + kTable) {
      table = true;
    } else if (type == "index" && name == kKeyIndex && owner == "opm" &&
               rows.columnType(3) == SQLITE_NULL) {
      key = true;
    } else {
      return Schema::kForeign;
    }
  }
  if (step != SQLITE_DONE) return Schema::kForeign;
  if (!any) return Schema::kEmpty;
  return table && key ? Schema::kOurs : Schema::kForeign;
}

int OpmStore::checkSchema() {
  Schema schema = readSchema();
  if (schema == Schema::kEmpty) {
    if (int status = createTable()) return status;
    schema = readSchema();
  }
  if (schema == Schema::kOurs) return OPM_OK;
  log_.error("", "Preferences database holds more or other than its table: %s",
             opmStatusName(OPM_DATABASE));
  return OPM_DATABASE;
}

int OpmStore::createTable() {
  // SQLite keeps the statement without "IF NOT EXISTS", as the schema check compares it.
  const std::string create = std::string("CREATE TABLE IF NOT EXISTS ") + kTable;
  if (db_->exec("BEGIN IMMEDIATE") && db_->exec(create.c_str()) && db_->exec("COMMIT")) {
    return OPM_OK;
  }
  log_.error("", "Preferences table cannot be made (%s): %s", db_->errorMessage(),
             opmStatusName(OPM_DATABASE));
  db_->exec("ROLLBACK");
  return OPM_DATABASE;
}

int OpmStore::setValue(const std::string& domain, const std::string& subdomain,
                       const std::string& key, const std::string& value) {
  if (!validNames(domain, subdomain, key) || value.size() > ValueCipher::kMaxValueBytes) {
    return fail("set", domain, subdomain, key, OPM_ARGUMENTS);
  }
  std::string sealed;
  if (!ValueCipher(ValueCipher::deriveKey(signature_, domain, subdomain)).seal(value, sealed)) {
    return fail("set", domain, subdomain, key, OPM_CRYPTO);
  }
  return write("set", domain, subdomain, key, &sealed);
}

int OpmStore::getValue(const std::string& domain, const std::string& subdomain,
                       const std::string& key, std::string& value) {
  if (!validNames(domain, subdomain, key))
    return fail("get", domain, subdomain, key, OPM_ARGUMENTS);
  SqliteStatement select = db_->prepare(kSelect);
  if (!bindNames(select, domain, subdomain, key)) {
    return fail("get", domain, subdomain, key, OPM_DATABASE);
  }
  int step = select.step();
  if (step == SQLITE_DONE) return fail("get", domain, subdomain, key, OPM_NOT_FOUND);
  if (step != SQLITE_ROW) return fail("get", domain, subdomain, key, OPM_DATABASE);
  size_t size = 0;
  const uint8_t* sealed =
      select.columnType(0) == SQLITE_BLOB ? select.columnBlob(0, size) : nullptr;
  ValueCipher cipher(ValueCipher::deriveKey(signature_, domain, subdomain));
  if (!cipher.open(sealed, size, value)) return fail("get", domain, subdomain, key, OPM_NOT_FOUND);
  log_.debug("get %s/%s/%s: %s", domain.c_str(), subdomain.c_str(), key.c_str(),
             opmStatusName(OPM_OK));
  return OPM_OK;
}

int OpmStore::removeValue(const std::string& domain, const std::string& subdomain,
                          const std::string& key) {
  if (!validNames(domain, subdomain, key)) {
    return fail("remove", domain, subdomain, key, OPM_ARGUMENTS);
  }
  return write("remove", domain, subdomain, key, nullptr);
}

// One BEGIN IMMEDIATE transaction: the write lock is taken (or waited for) up front, so two
// writers never deadlock upgrading read locks.
int OpmStore::write(const char* operation, const std::string& domain, const std::string& subdomain,
                    const std::string& key, const std::string* sealed) {
  if (!db_->exec("BEGIN IMMEDIATE")) return fail(operation, domain, subdomain, key, OPM_DATABASE);
  bool done;
  int changed;
  {
    SqliteStatement statement = db_->prepare(sealed ? kUpsert : kDelete);
    done = bindNames(statement, domain, subdomain, key) &&
           (!sealed || statement.bindBlob(4, *sealed)) && statement.step() == SQLITE_DONE;
    changed = db_->changes();
  }
  if (!done || !db_->exec("COMMIT")) {
    int status = fail(operation, domain, subdomain, key, OPM_DATABASE);
    db_->exec("ROLLBACK");
    return status;
  }
  if (changed == 0) return fail(operation, domain, subdomain, key, OPM_NOT_FOUND);
  log_.info("%s %s/%s/%s: %s", operation, domain.c_str(), subdomain.c_str(), key.c_str(),
            opmStatusName(OPM_OK));
  return OPM_OK;
}

int OpmStore::fail(const char* operation, const std::string& domain, const std::string& subdomain,
                   const std::string& key, int status) {
  if (status == OPM_NOT_FOUND) {
    log_.info("%s %s/%s/%s: %s", operation, domain.c_str(), subdomain.c_str(), key.c_str(),
              opmStatusName(status));
  } else {
    log_.error("", "%s %s/%s/%s: %s (%s)", operation, domain.c_str(), subdomain.c_str(),
               key.c_str(), opmStatusName(status),
               status == OPM_DATABASE ? db_->errorMessage() : "");
  }
  return status;
}

}  // namespace prefs
