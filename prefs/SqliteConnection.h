#pragma once

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// A thin owner of one SQLite connection and its prepared statements. Values enter SQL only
// through bound parameters. A connection is used by one thread at a time and never across fork.
namespace prefs {

class SqliteStatement {
 public:
  SqliteStatement() = default;
  explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}
  bool valid() const { return statement_ != nullptr; }
  // Parameters count from 1. False when SQLite refuses the binding.
  bool bindText(int index, const std::string& text);
  bool bindBlob(int index, const std::string& bytes);
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step();
  int columnType(int column);
  std::string columnText(int column);
  const uint8_t* columnBlob(int column, size_t& size);

 private:
  struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };
  std::unique_ptr<sqlite3_stmt, Finalize> statement_;
};

class SqliteConnection {
 public:
  // Opens an existing file read-write, never through a link at its last component. Null on
  // failure.
  static std::unique_ptr<SqliteConnection> openExisting(const std::string& path);
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;
  ~SqliteConnection();

  // A locked database is retried every millisecond for up to `milliseconds`. SQLite's own busy
  // timeout backs off to 100 ms between tries and then almost never finds the short gap between
  // two commits of a busy writer, so a second writer would starve and fail.
  void setBusyTimeout(int milliseconds);
  // Runs SQL that returns no rows the caller needs.
  bool exec(const char* sql);
  // An invalid statement when the SQL does not compile (or the file is no database).
  SqliteStatement prepare(const char* sql);
  // Rows changed by the last statement.
  int changes() const;
  const char* errorMessage() const;

 private:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}
  static int retryWhileBusy(void* connection, int attempts);

  sqlite3* db_;
  std::chrono::milliseconds busyTimeout_{0};
  std::chrono::steady_clock::time_point busySince_;
};

}  // namespace prefs
