#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "prefs/OpmStatus.h"
#include "prefs/OpmStore.h"
#include "prefs/ValueCipher.h"
#include "tests/prefs/support/PrefsEnvironment.h"
#include "tests/support/CapturingLogger.h"

using namespace wendtest;
using prefs::OpmStore;

namespace {

class OpmStoreTest : public ::testing::Test {
 public:
  int open(std::unique_ptr<OpmStore>& store, const std::string& machine = "this machine") {
    return OpmStore::open(FixedSignature(machine), log_, store);
  }
  std::unique_ptr<OpmStore> openStore(const std::string& machine = "this machine") {
    std::unique_ptr<OpmStore> store;
    EXPECT_EQ(open(store, machine), OPM_OK);
    return store;
  }
  int get(const std::string& key, std::string& value, const std::string& machine = "this machine",
          const std::string& domain = "PANDO", const std::string& subdomain = "Sub\"domain") {
    return openStore(machine)->getValue(domain, subdomain, key, value);
  }
  // Runs one statement on the database as another program would, outside the store.
  void rawSql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(env_.databasePath().c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  PrefsEnvironment env_;
  CapturingLogger log_;
};

TEST_F(OpmStoreTest, ValuesRoundTripAndStayOutOfTheFile) {
  const std::string values[] = {
      "o'brien\"; DELETE FROM opm; --",
      "p\xc3\xa4ss \xe5\xaf\x86\xe7\xa0\x81 \xf0\x9f\x94\x91",
      std::string(prefs::ValueCipher::kMaxValueBytes, 'M'),
      "",
  };
  auto store = openStore();
  for (size_t i = 0; i < std::size(values); ++i) {
    ASSERT_EQ(store->setValue("PANDO", "Sub\"domain", "key'" + std::to_string(i), "earlier"), 0);
    ASSERT_EQ(store->setValue("PANDO", "Sub\"domain", "key'" + std::to_string(i), values[i]), 0);
  }
  chmod(env_.databasePath().c_str(), 0644);  // a wider mode of the user's own file is narrowed
  for (size_t i = 0; i < std::size(values); ++i) {
    std::string value;
    ASSERT_EQ(get("key'" + std::to_string(i), value), OPM_OK);
    EXPECT_TRUE(value == values[i]) << i;
  }
  const FileState file = fileState(env_.databasePath());
  EXPECT_EQ(file.mode, 0600u);
  EXPECT_EQ(file.owner, geteuid());
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(file.bytes.find(values[i]), std::string::npos) << i;
  EXPECT_EQ(file.bytes.find(std::string(64, 'M')), std::string::npos);

  // Found only under its own names and machine; a removed value is not found, nor removed twice.
  std::string value = "unchanged";
  EXPECT_EQ(get("key'0", value, "another machine"), OPM_NOT_FOUND);
  EXPECT_EQ(get("key'0", value, "this machine", "PANDOX"), OPM_NOT_FOUND);
  EXPECT_EQ(get("key'0", value, "this machine", "PANDO", "sub\"domain"), OPM_NOT_FOUND);
  EXPECT_EQ(get("key'9", value), OPM_NOT_FOUND);
  EXPECT_EQ(value, "unchanged");
  EXPECT_EQ(store->removeValue("PANDO", "Sub\"domain", "key'0"), OPM_OK);
  EXPECT_EQ(get("key'0", value), OPM_NOT_FOUND);
  EXPECT_EQ(store->removeValue("PANDO", "Sub\"domain", "key'0"), OPM_NOT_FOUND);
}

TEST_F(OpmStoreTest, WithoutAMachineIdNothingIsCreated) {
  std::unique_ptr<OpmStore> store;
  prefs::MachineIdSignature none({env_.root() + "/no-machine-id"});
  EXPECT_EQ(OpmStore::open(none, log_, store), OPM_CRYPTO);
  EXPECT_FALSE(store);
  EXPECT_FALSE(existsNoFollow(env_.databasePath()));
}

TEST_F(OpmStoreTest, ANewDatabaseBelongsToTheConsoleUser) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can create files for another user";
  ScopedEnv console("WEND_CONSOLE_UID", std::to_string(otherUser()));
  ASSERT_EQ(openStore()->setValue("D", "S", "K", "v"), OPM_OK);
  const std::string db = env_.databasePath();
  EXPECT_EQ(fileState(db).owner, otherUser());
  EXPECT_EQ(fileState(db).mode, 0600u);
  EXPECT_EQ(fileState(db.substr(0, db.rfind('/'))).owner, otherUser());
  EXPECT_EQ(fileState(db.substr(0, db.rfind('/'))).mode, 0700u);
}

// Each case plants something hostile at the database path (the root may hold a victim file).
struct HostileCase {
  const char* what;
  void (*plant)(OpmStoreTest& test, const std::string& dbPath, const std::string& root);
  bool needsRoot = false;
  // Else run on a filled store's file.
  const char* sql = nullptr;
};

// Many pages, so that half of the file cuts through the table.
void fillDatabase(OpmStoreTest& test) {
  auto store = test.openStore();
  for (int i = 0; i < 40; ++i)
    store->setValue("D", "S", "K" + std::to_string(i), std::string(2000, 'v'));
}

const HostileCase kHostile[] = {
    {"LinkToAFile",
     [](OpmStoreTest&, const std::string& db, const std::string& root) {
       writeFile(root + "/victim", "victim bytes");
       symlink((root + "/victim").c_str(), db.c_str());
     }},
    {"DanglingLink",
     [](OpmStoreTest&, const std::string& db, const std::string& root) {
       symlink((root + "/not-there").c_str(), db.c_str());
     }},
    {"Folder",
     [](OpmStoreTest&, const std::string& db, const std::string&) { mkdir(db.c_str(), 0700); }},
    {"Fifo",
     [](OpmStoreTest&, const std::string& db, const std::string&) { mkfifo(db.c_str(), 0600); }},
    {"NotADatabase",
     [](OpmStoreTest&, const std::string& db, const std::string&) {
       writeFile(db, "SQLite f");
       chmod(db.c_str(), 0600);
     }},
    {"TruncatedDatabase",
     [](OpmStoreTest& test, const std::string& db, const std::string&) {
       fillDatabase(test);
       ASSERT_EQ(truncate(db.c_str(), static_cast<off_t>(fileState(db).bytes.size() / 2)), 0);
     }},
    {"AnotherUsersFile",
     [](OpmStoreTest& test, const std::string& db, const std::string&) {
       fillDatabase(test);
       ASSERT_EQ(chown(db.c_str(), otherUser(), 0), 0);
     },
     true},
    {"Trigger", nullptr, false,
     "CREATE TRIGGER t AFTER INSERT ON opm BEGIN DELETE FROM opm WHERE key <> new.key; END"},
    {"TableWithoutItsKey", nullptr, false,
     "CREATE TABLE k AS SELECT * FROM opm; DROP TABLE opm; ALTER TABLE k RENAME TO opm"},
    {"View", nullptr, false, "CREATE VIEW v AS SELECT key FROM opm"},
    {"Index", nullptr, false, "CREATE INDEX i ON opm(value)"},
    {"AnotherTable", nullptr, false, "CREATE TABLE other(x)"},
};

class HostileFileTest : public OpmStoreTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFileTest, IsRefusedAndLeftAsItWas) {
  if (GetParam().needsRoot && geteuid() != 0) GTEST_SKIP() << "only root can plant it";
  const std::string db = env_.databasePath(), folder = db.substr(0, db.rfind('/'));
  ASSERT_TRUE(platform::createFolders(env_.root(), folder.substr(env_.root().size() + 1), 0700));
  if (GetParam().sql) {
    fillDatabase(*this);
    rawSql(GetParam().sql);
  } else {
    GetParam().plant(*this, db, env_.root());
  }
  const FileState before = fileState(db), victim = fileState(env_.root() + "/victim");

  std::unique_ptr<OpmStore> store;
  EXPECT_EQ(open(store), OPM_DATABASE);
  EXPECT_FALSE(store);
  EXPECT_TRUE(fileState(db) == before);
  EXPECT_TRUE(fileState(env_.root() + "/victim") == victim);
  EXPECT_FALSE(existsNoFollow(env_.root() + "/not-there"));
  EXPECT_FALSE(existsNoFollow(db + "-journal"));
}

INSTANTIATE_TEST_SUITE_P(Planted, HostileFileTest, ::testing::ValuesIn(kHostile),
                         [](const auto& param) { return std::string(param.param.what); });

TEST_F(OpmStoreTest, DamagedStoredValuesReadAsNotFoundAndStayAsTheyAre) {
  for (const char* sql : {"UPDATE opm SET value = substr(value, 1, length(value) - 1)",
                          "UPDATE opm SET value = substr(value, 1, 31)",
                          "UPDATE opm SET value = zeroblob(64)", "UPDATE opm SET value = NULL"}) {
    ASSERT_EQ(openStore()->setValue("D", "S", "K", "a value long enough for two blocks"), OPM_OK);
    rawSql(sql);
    const std::string before = readFile(env_.databasePath());
    std::string value = "unchanged";
    EXPECT_EQ(openStore()->getValue("D", "S", "K", value), OPM_NOT_FOUND) << sql;
    EXPECT_EQ(value, "unchanged");
    EXPECT_TRUE(readFile(env_.databasePath()) == before) << sql;
  }
}

}  // namespace
