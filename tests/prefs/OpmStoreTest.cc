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

// Runs one statement on the database as another program would, outside the store.
void rawSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
  sqlite3_free(error);
  sqlite3_close(db);
}

class OpmStoreTest : public ::testing::Test {
 protected:
  int open(std::unique_ptr<OpmStore>& store, const std::string& machine = "this machine") {
    return OpmStore::open(FixedSignature(machine), log_, store);
  }
  std::unique_ptr<OpmStore> openStore(const std::string& machine = "this machine") {
    std::unique_ptr<OpmStore> store;
    EXPECT_EQ(open(store, machine), OPM_OK);
    return store;
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
    ASSERT_EQ(store->setValue("PANDO", "Sub\"domain", "key'" + std::to_string(i), "earlier"),
              OPM_OK);
    ASSERT_EQ(store->setValue("PANDO", "Sub\"domain", "key'" + std::to_string(i), values[i]),
              OPM_OK);
  }
  store = openStore();
  for (size_t i = 0; i < std::size(values); ++i) {
    std::string value;
    ASSERT_EQ(store->getValue("PANDO", "Sub\"domain", "key'" + std::to_string(i), value), OPM_OK);
    EXPECT_TRUE(value == values[i]) << i;
  }
  FileState file = fileState(env_.databasePath());
  EXPECT_EQ(file.mode, 0600u);
  EXPECT_EQ(file.owner, geteuid());
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(file.bytes.find(values[i]), std::string::npos) << i;
  EXPECT_EQ(file.bytes.find(std::string(64, 'M')), std::string::npos);
}

TEST_F(OpmStoreTest, ValuesAreFoundOnlyUnderTheirOwnNamesAndMachine) {
  ASSERT_EQ(openStore()->setValue("PANDO", "ProxyCredentials", "ProxyUsername", "alice"), OPM_OK);
  struct Case {
    const char* machine;
    const char* domain;
    const char* subdomain;
    const char* key;
  } cases[] = {
      {"another machine", "PANDO", "ProxyCredentials", "ProxyUsername"},
      {"this machine", "PANDOX", "ProxyCredentials", "ProxyUsername"},
      {"this machine", "PANDO", "proxycredentials", "ProxyUsername"},
      {"this machine", "PANDO", "ProxyCredentials", "ProxyPassword"},
  };
  for (const Case& c : cases) {
    std::string value = "unchanged";
    EXPECT_EQ(openStore(c.machine)->getValue(c.domain, c.subdomain, c.key, value), OPM_NOT_FOUND)
        << c.machine << " " << c.domain << " " << c.subdomain << " " << c.key;
    EXPECT_EQ(value, "unchanged");
  }
}

TEST_F(OpmStoreTest, ARemovedValueIsNotFoundAndRemovingItAgainSaysSo) {
  auto store = openStore();
  ASSERT_EQ(store->setValue("D", "S", "K", "v"), OPM_OK);
  EXPECT_EQ(store->removeValue("D", "S", "K"), OPM_OK);
  std::string value;
  EXPECT_EQ(store->getValue("D", "S", "K", value), OPM_NOT_FOUND);
  EXPECT_EQ(store->removeValue("D", "S", "K"), OPM_NOT_FOUND);
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
  uid_t other = otherUser();
  ScopedEnv console("WEND_CONSOLE_UID", std::to_string(other));
  auto store = openStore();
  ASSERT_TRUE(store);
  ASSERT_EQ(store->setValue("D", "S", "K", "v"), OPM_OK);
  FileState file = fileState(env_.databasePath());
  EXPECT_EQ(file.owner, other);
  EXPECT_EQ(file.mode, 0600u);
  std::string folder = env_.databasePath().substr(0, env_.databasePath().rfind('/'));
  EXPECT_EQ(fileState(folder).owner, other);
  EXPECT_EQ(fileState(folder).mode, 0700u);
}

TEST_F(OpmStoreTest, AWiderModeOfTheUsersOwnFileIsNarrowed) {
  openStore();
  chmod(env_.databasePath().c_str(), 0644);
  openStore();
  EXPECT_EQ(fileState(env_.databasePath()).mode, 0600u);
}

// Each case plants something hostile at the database path (the root may hold a victim file).
struct HostileCase {
  const char* what;
  void (*plant)(const std::string& dbPath, const std::string& root);
};

void fillDatabase() {
  CapturingLogger log;
  std::unique_ptr<OpmStore> store;
  ASSERT_EQ(OpmStore::open(FixedSignature("this machine"), log, store), OPM_OK);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(store->setValue("D", "S", "K" + std::to_string(i), std::string(2000, 'v')), OPM_OK);
  }
}

const HostileCase kHostile[] = {
    {"link to a file",
     [](const std::string& db, const std::string& root) {
       writeFile(root + "/victim", "victim bytes");
       symlink((root + "/victim").c_str(), db.c_str());
     }},
    {"dangling link",
     [](const std::string& db, const std::string& root) {
       symlink((root + "/not-there").c_str(), db.c_str());
     }},
    {"folder", [](const std::string& db, const std::string&) { mkdir(db.c_str(), 0700); }},
    {"fifo", [](const std::string& db, const std::string&) { mkfifo(db.c_str(), 0600); }},
    {"random bytes",
     [](const std::string& db, const std::string&) {
       std::string bytes;
       for (int i = 0; i < 8192; ++i) bytes.push_back(static_cast<char>((i * 7919 + 13) % 251));
       writeFile(db, bytes);
       chmod(db.c_str(), 0600);
     }},
    {"a few bytes",
     [](const std::string& db, const std::string&) {
       writeFile(db, "SQLite f");
       chmod(db.c_str(), 0600);
     }},
    {"truncated database",
     [](const std::string& db, const std::string&) {
       fillDatabase();
       std::string bytes = readFile(db);
       ASSERT_GT(bytes.size(), 40000u);
       ASSERT_EQ(truncate(db.c_str(), static_cast<off_t>(bytes.size() / 2)), 0);
     }},
};

void PrintTo(const HostileCase& c, std::ostream* out) {
  *out << c.what;
}

class HostileFileTest : public OpmStoreTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileFileTest, IsRefusedAndLeftAsItWas) {
  std::string db = env_.databasePath();
  std::string folder = db.substr(0, db.rfind('/'));
  ASSERT_TRUE(platform::createFolders(env_.root(), folder.substr(env_.root().size() + 1), 0700));
  GetParam().plant(db, env_.root());
  FileState before = fileState(db), victimBefore = fileState(env_.root() + "/victim");
  char target[256] = {};
  ssize_t targetLength = readlink(db.c_str(), target, sizeof target);

  std::unique_ptr<OpmStore> store;
  EXPECT_EQ(open(store), OPM_DATABASE);
  EXPECT_FALSE(store);

  FileState after = fileState(db), victimAfter = fileState(env_.root() + "/victim");
  EXPECT_EQ(after.exists, before.exists);
  EXPECT_EQ(after.mode, before.mode);
  EXPECT_TRUE(after.bytes == before.bytes);
  EXPECT_TRUE(victimAfter.bytes == victimBefore.bytes);
  EXPECT_FALSE(existsNoFollow(env_.root() + "/not-there"));
  EXPECT_FALSE(existsNoFollow(db + "-journal"));
  char targetAfter[256] = {};
  EXPECT_EQ(readlink(db.c_str(), targetAfter, sizeof targetAfter), targetLength);
  EXPECT_STREQ(targetAfter, target);
}

INSTANTIATE_TEST_SUITE_P(Planted, HostileFileTest, ::testing::ValuesIn(kHostile),
                         [](const auto& param) {
                           std::string name;
                           for (const char* c = param.param.what; *c; ++c) {
                             if (isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

TEST_F(OpmStoreTest, AnotherUsersFileIsRefusedAndLeftAsItWas) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can plant another user's file";
  ASSERT_EQ(openStore()->setValue("D", "S", "K", "v"), OPM_OK);
  ASSERT_EQ(chown(env_.databasePath().c_str(), otherUser(), 0), 0);
  FileState before = fileState(env_.databasePath());
  std::unique_ptr<OpmStore> store;
  EXPECT_EQ(open(store), OPM_DATABASE);
  FileState after = fileState(env_.databasePath());
  EXPECT_EQ(after.owner, otherUser());
  EXPECT_EQ(after.mode, before.mode);
  EXPECT_TRUE(after.bytes == before.bytes);
}

TEST_F(OpmStoreTest, DamagedStoredValuesReadAsNotFoundAndStayAsTheyAre) {
  const char* damage[] = {
      "UPDATE opm SET value = substr(value, 1, length(value) - 1)",
      "UPDATE opm SET value = substr(value, 1, 31)",
      "UPDATE opm SET value = zeroblob(64)",
      "UPDATE opm SET value = 'plain text'",
      "UPDATE opm SET value = NULL",
  };
  for (const char* sql : damage) {
    ASSERT_EQ(openStore()->setValue("D", "S", "K", "a value long enough for two blocks"), OPM_OK);
    rawSql(env_.databasePath(), sql);
    std::string before = readFile(env_.databasePath());
    std::string value = "unchanged";
    EXPECT_EQ(openStore()->getValue("D", "S", "K", value), OPM_NOT_FOUND) << sql;
    EXPECT_EQ(value, "unchanged");
    EXPECT_TRUE(readFile(env_.databasePath()) == before) << sql;
  }
}

}  // namespace
