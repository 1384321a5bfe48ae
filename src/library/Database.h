#pragma once
// A connection to one SQLite file, and the statements run on it. UI thread only: the song
// library is used from window handlers and at start-up, never from the engine's threads.
#include "library/DbValue.h"

#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace spinx {

// A failed database call, with SQLite's result code and, for file errors, the system's errno.
class DbError : public std::runtime_error {
  public:
    DbError(int code, int systemErrno, const std::string& message)
        : std::runtime_error(message), code_(code), systemErrno_(systemErrno) {}
    // The primary result code (SQLITE_BUSY, SQLITE_NOTADB...).
    int Code() const { return code_ & 0xff; }
    int SystemErrno() const { return systemErrno_; }
    // Another connection holds the file past the busy timeout.
    bool IsBusy() const;

  private:
    int code_;
    int systemErrno_;
};

// How long a statement waits for another program's lock before it fails as busy. Long enough
// to ride out another writer's commit, short enough that the user gets asked instead of a hang.
inline constexpr int kDefaultBusyTimeoutMs = 1000;

// One database file, open or closed. UI thread only.
class Database {
  public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `path` with SQLite's open flags; throws DbError when the file cannot be opened.
    void Open(const std::string& path, int flags);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    // The path last opened ("" before any open).
    const std::string& Path() const { return path_; }
    sqlite3* Handle() const { return db_; }

    // Applies to the open connection and to every later open.
    void SetBusyTimeout(int ms);

    // Runs one or more statements that return no rows; throws DbError.
    void Execute(const std::string& sql);

    // A DbError describing the connection's last failure with result code `code`.
    DbError LastError(int code) const;

  private:
    sqlite3* db_ = nullptr;
    std::string path_;
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};

// One prepared statement; finalized when it goes out of scope. Used on its Database's thread.
class Statement {
  public:
    Statement(const Database& db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // `index` counts from 1, as in SQL. Text is bound with its length, so NUL survives.
    void Bind(int index, const DbValue& value);
    // true while there is a row to read; throws DbError on failure.
    bool Step();
    void Reset();

    int ColumnCount() const;
    std::string ColumnName(int column) const; // columns count from 0
    DbValue Column(int column) const;

  private:
    const Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// `name` as an SQL identifier in double quotes.
std::string QuoteName(const std::string& name);

} // namespace spinx
