#pragma once
// Opening the song database and upgrading its design in place. Every design step adds what is
// missing and changes nothing once the design is complete, so the same calls run at every
// start. UI thread only (start-up).
#include "library/Database.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace spinx {

// Field type codes taken by EnsureField.
inline constexpr std::int16_t dbLong = 4;  // 32-bit integer, stored as INTEGER
inline constexpr std::int16_t dbText = 10; // text of a given size, stored as TEXT(n)
inline constexpr std::int16_t dbMemo = 12; // unbounded text, stored as TEXT
// The size of a Text field created without one.
inline constexpr std::int16_t kDefaultTextSize = 50;

inline constexpr const char* kMsgDesignLocked =
    "Unable to modify database design, close all access to the database and try again.";
inline constexpr const char* kMsgNoTableForIndex =
    "ERROR! Table not found in database, cannot create index.";
inline constexpr const char* kMsgNoFieldForIndex =
    "ERROR! Field not found in table, cannot create index.";
inline constexpr const char* kMsgBackupNotDeleted = "Error deleting backup file ";

// The one open song database.
extern Database SongDb;

// Creates `path` when missing, deletes its backup file, opens it and makes sure it can be used.
// When it cannot, the user is told why and `db` is left closed.
void OpenDB(Database& db, const std::string& path);

// Adds `field` to `table` when missing; a missing table is created first with its "ID" field.
// `size` only matters for Text (0 means the default size). Throws DbError.
void EnsureField(Database& db, const std::string& table, const std::string& field,
                 std::int16_t type, std::int16_t size = 0);

// Adds the index `index` over the comma-separated `fields` of `table` when it is missing; it is
// neither primary nor unique. A missing table or field is reported and nothing is created.
void EnsureIndex(Database& db, const std::string& table, const std::string& index,
                 const std::string& fields);

// Table and field names match without regard to case; index names match exactly.
bool TableExists(Database& db, const std::string& table);
bool FieldExists(Database& db, const std::string& table, const std::string& field);
bool IndexExists(Database& db, const std::string& table, const std::string& index);

// The fields an index covers, in key order; empty when there is no such index. Waits for no
// one: a lock reaches the caller as a DbError.
std::vector<std::string> IndexFields(Database& db, const std::string& table,
                                     const std::string& index);

// The backup file beside a database: its folder, its name without extension, ".bak".
std::string BackupPath(const std::string& databasePath);

// Runs `step`. While another program holds the database past the busy timeout, the user is
// asked to Retry (the step runs again) or Cancel (the program ends).
void RetryWhileLocked(const std::function<void()>& step);

// What Cancel does: end the program at once. Tests replace it to watch it happen; when the
// replacement returns, ProgramEndRequested is thrown so that nothing else runs.
using EndProgramAction = std::function<void()>;
EndProgramAction SetEndProgramAction(EndProgramAction action);

class ProgramEndRequested : public std::exception {
  public:
    const char* what() const noexcept override { return "the user chose to end the program"; }
};

// Why a file cannot serve as a database, in words for the user ("it is not a database file").
std::string DbErrorReason(const DbError& error);

// Tells the user that the song database at `path` cannot be used and why, and that the
// program goes on without its song memory.
void ReportUnusableDatabase(const std::string& path, const std::string& reason);

} // namespace spinx
