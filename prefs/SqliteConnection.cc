#include "prefs/SqliteConnection.h"

#include <climits>
#include <thread>

namespace prefs {

bool SqliteStatement::bindText(int index, const std::string& text) {
  if (text.size() > INT_MAX) return false;
  return sqlite3_bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

bool SqliteStatement::bindBlob(int index, const std::string& bytes) {
  if (bytes.size() > INT_MAX) return false;
  return sqlite3_bind_blob(statement_.get(), index, bytes.data(), static_cast<int>(bytes.size()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

int SqliteStatement::step() {
  return sqlite3_step(statement_.get());
}

int SqliteStatement::columnType(int column) {
  return sqlite3_column_type(statement_.get(), column);
}

std::string SqliteStatement::columnText(int column) {
  const unsigned char* text = sqlite3_column_text(statement_.get(), column);
  int count = sqlite3_column_bytes(statement_.get(), column);
  return text && count > 0
             ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(count))
             : std::string();
}

const uint8_t* SqliteStatement::columnBlob(int column, size_t& size) {
  const void* bytes = sqlite3_column_blob(statement_.get(), column);
  int count = sqlite3_column_bytes(statement_.get(), column);
  size = count > 0 ? static_cast<size_t>(count) : 0;
  return static_cast<const uint8_t*>(bytes);
}

std::unique_ptr<SqliteConnection> SqliteConnection::openExisting(const std::string& path) {
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX;
  int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_close_v2(db);  // a handle comes back even on failure, except when out of memory
    return nullptr;
  }
  sqlite3_extended_result_codes(db, 1);
  return std::unique_ptr<SqliteConnection>(new SqliteConnection(db));
}

SqliteConnection::~SqliteConnection() {
  sqlite3_close_v2(db_);
}

void SqliteConnection::setBusyTimeout(int milliseconds) {
  busyTimeout_ = std::chrono::milliseconds(milliseconds);
  sqlite3_busy_handler(db_, &SqliteConnection::retryWhileBusy, this);
}

int SqliteConnection::retryWhileBusy(void* connection, int attempts) {
  auto* self = static_cast<SqliteConnection*>(connection);
  auto now = std::chrono::steady_clock::now();
  if (attempts == 0) self->busySince_ = now;
  if (now - self->busySince_ >= self->busyTimeout_) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

bool SqliteConnection::exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqliteStatement SqliteConnection::prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return SqliteStatement();
  }
  return SqliteStatement(statement);
}

int SqliteConnection::changes() const {
  return sqlite3_changes(db_);
}

const char* SqliteConnection::errorMessage() const {
  return sqlite3_errmsg(db_);
}

}  // namespace prefs
