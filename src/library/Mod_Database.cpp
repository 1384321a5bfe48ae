#include "library/Mod_Database.h"

#include "support/FileIo.h"
#include "support/Mod_Diskinfo.h"
#include "support/MsgBox.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>

namespace spinx {

Database SongDb;

namespace {

EndProgramAction& EndAction() {
    static EndProgramAction action;
    return action;
}

[[noreturn]] void EndProgram() {
    if (const EndProgramAction& action = EndAction()) {
        action();
        throw ProgramEndRequested();
    }
    std::exit(EXIT_FAILURE);
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

// The lookups below wait for no one: the design operations wrap them in RetryWhileLocked, and
// the recordsets of the running program let a lock reach their caller as a DbError.

// The first column of every row of `sql`, as text.
std::vector<std::string> QueryNames(Database& db, const std::string& sql,
                                    const std::vector<std::string>& parameters = {}) {
    std::vector<std::string> names;
    Statement st(db, sql);
    for (std::size_t i = 0; i < parameters.size(); ++i)
        st.Bind(int(i) + 1, parameters[i]);
    while (st.Step())
        names.push_back(st.Column(0).AsText());
    return names;
}

// The table's name as stored, found without regard to case.
std::optional<std::string> StoredTableName(Database& db, const std::string& table) {
    const auto tables =
        QueryNames(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY rowid");
    const auto found = std::find_if(tables.begin(), tables.end(),
                                    [&](const std::string& name) { return SameName(name, table); });
    if (found == tables.end()) return std::nullopt;
    return *found;
}

// SQLite keeps index names in one namespace for the whole file and compares them without
// regard to case, while ours belong to a table and match exactly ("mp3id" is not "MP3ID").
// So an index is stored as "<table>.<name>" with every capital letter marked by a "^" in front
// (and "^" itself doubled): names that differ only in case stay distinct to SQLite.
std::string EncodeIndexName(const std::string& table, const std::string& index) {
    std::string encoded = table + ".";
    for (char c : index) {
        if ((c >= 'A' && c <= 'Z') || c == '^') encoded += '^';
        encoded += c;
    }
    return encoded;
}

// The index name behind a stored name; a name that is not in our form (an index made by some
// other tool) stands for itself.
std::string DecodeIndexName(const std::string& table, const std::string& stored) {
    const std::string prefix = table + ".";
    if (stored.size() < prefix.size() || !SameName(stored.substr(0, prefix.size()), prefix)) {
        return stored;
    }
    std::string name;
    for (std::size_t i = prefix.size(); i < stored.size(); ++i) {
        const char c = stored[i];
        if (c >= 'A' && c <= 'Z') return stored;
        if (c != '^') {
            name += c;
            continue;
        }
        if (i + 1 == stored.size()) return stored;
        const char marked = stored[++i];
        if (!((marked >= 'A' && marked <= 'Z') || marked == '^')) return stored;
        name += marked;
    }
    return name;
}

// The stored name of the table's index `index`, if there is one.
std::optional<std::string> StoredIndexName(Database& db, const std::string& table,
                                           const std::string& index) {
    const auto stored = StoredTableName(db, table);
    if (!stored) return std::nullopt;
    const auto indexes = QueryNames(
        db, "SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = ? ORDER BY rowid",
        {*stored});
    for (const std::string& name : indexes) {
        if (DecodeIndexName(*stored, name) == index) return name;
    }
    return std::nullopt;
}

// The names of a comma-separated field list, taken apart without trimming: "A," ends with an
// empty name, which no table has.
std::vector<std::string> SplitFieldList(const std::string& fields) {
    std::vector<std::string> names;
    std::string rest = fields;
    for (;;) {
        const auto comma = rest.find(',');
        if (comma == std::string::npos) break;
        names.push_back(rest.substr(0, comma));
        rest.erase(0, comma + 1);
    }
    names.push_back(rest);
    return names;
}

std::string FieldSqlType(std::int16_t type, std::int16_t size) {
    switch (type) {
    case dbLong:
        return "INTEGER";
    case dbText:
        return "TEXT(" + std::to_string(size > 0 ? size : kDefaultTextSize) + ")";
    case dbMemo:
        return "TEXT";
    default:
        break;
    }
    throw DbError(SQLITE_ERROR, 0, "unknown field type " + std::to_string(type));
}

void CreateEmptyDatabase(const std::string& path) {
    Database created;
    created.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

// Reads the file once so that a file that is no database shows itself now, not at the first
// song, and chooses how commits reach the disk.
void CheckUsable(Database& db) {
    // SQLite quietly falls back to reading when it may not write; the user should know.
    if (sqlite3_db_readonly(db.Handle(), "main") == 1) {
        throw DbError(SQLITE_READONLY, 0, "attempt to write a readonly database");
    }
    Statement(db, "SELECT count(*) FROM sqlite_master").Step();
    // The user's song settings must survive a power cut: a write-ahead log with a full sync
    // at each commit is durable, and costs one sync per commit where a rollback journal costs
    // several. Songs are saved on a click, never in a loop, so the sync is not felt.
    db.Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;");
}

std::string SystemReason(const DbError& error) {
    return error.SystemErrno() == 0 ? std::string()
                                    : " (" + std::string(std::strerror(error.SystemErrno())) + ")";
}

// SQLite retries a refused create as a plain open and reports that open's "no such file"; the
// folder tells the real reason.
std::string CreateFailureReason(const std::string& path, const DbError& error) {
    if (const int why = FolderWriteError(GetPath(path)); why != 0)
        return " (" + std::string(std::strerror(why)) + ")";
    return SystemReason(error);
}

} // namespace

std::string DbErrorReason(const DbError& error) {
    switch (error.Code()) {
    case SQLITE_NOTADB:
        return "it is not a database file";
    case SQLITE_CORRUPT:
        return "it is damaged";
    case SQLITE_READONLY:
        return "it is read-only";
    case SQLITE_CANTOPEN:
        return "it cannot be opened" + SystemReason(error);
    default:
        break;
    }
    return error.what() + SystemReason(error);
}

void OpenDB(Database& db, const std::string& path) {
    db.Close();
    if (!FileExists(path)) {
        try {
            CreateEmptyDatabase(path);
        } catch (const DbError& e) {
            ReportUnusableDatabase(path, "it cannot be created" + CreateFailureReason(path, e));
            return;
        }
    }
    const std::string backup = BackupPath(path);
    // A database that is itself named ".bak" is not its own backup.
    if (backup != path && FileExists(backup)) {
        std::error_code ec;
        std::filesystem::remove(backup, ec);
        if (ec) {
            MsgBox(kMsgBackupNotDeleted + backup);
            return;
        }
    }
    try {
        db.Open(path, SQLITE_OPEN_READWRITE);
        RetryWhileLocked([&] { CheckUsable(db); });
    } catch (const DbError& e) {
        db.Close();
        ReportUnusableDatabase(path, DbErrorReason(e));
    }
}

void EnsureField(Database& db, const std::string& table, const std::string& field,
                 std::int16_t type, std::int16_t size) {
    if (!TableExists(db, table)) {
        RetryWhileLocked(
            [&] { db.Execute("CREATE TABLE " + QuoteName(table) + " (\"ID\" INTEGER)"); });
    }
    if (FieldExists(db, table, field)) return;
    const std::string sql = "ALTER TABLE " + QuoteName(table) + " ADD COLUMN " + QuoteName(field) +
                            " " + FieldSqlType(type, size);
    RetryWhileLocked([&] { db.Execute(sql); });
}

void EnsureIndex(Database& db, const std::string& table, const std::string& index,
                 const std::string& fields) {
    if (!TableExists(db, table)) {
        MsgBox(kMsgNoTableForIndex);
        return;
    }
    const auto names = SplitFieldList(fields);
    for (const std::string& name : names) {
        if (!FieldExists(db, table, name)) {
            MsgBox(kMsgNoFieldForIndex);
            return;
        }
    }
    if (IndexExists(db, table, index)) return;
    std::string columns;
    for (const std::string& name : names)
        columns += (columns.empty() ? "" : ", ") + QuoteName(name);
    const std::string sql = "CREATE INDEX " + QuoteName(EncodeIndexName(table, index)) + " ON " +
                            QuoteName(table) + " (" + columns + ")";
    RetryWhileLocked([&] { db.Execute(sql); });
}

bool TableExists(Database& db, const std::string& table) {
    bool exists = false;
    RetryWhileLocked([&] { exists = StoredTableName(db, table).has_value(); });
    return exists;
}

bool FieldExists(Database& db, const std::string& table, const std::string& field) {
    if (!TableExists(db, table)) return false;
    bool exists = false;
    RetryWhileLocked([&] {
        // Reading a row, not just the design, is what meets another program's lock.
        Statement st(db, "SELECT * FROM " + QuoteName(table) + " LIMIT 1");
        st.Step();
        exists = false;
        for (int i = 0; i < st.ColumnCount() && !exists; ++i) {
            exists = SameName(st.ColumnName(i), field);
        }
    });
    return exists;
}

bool IndexExists(Database& db, const std::string& table, const std::string& index) {
    bool exists = false;
    RetryWhileLocked([&] { exists = StoredIndexName(db, table, index).has_value(); });
    return exists;
}

std::vector<std::string> IndexFields(Database& db, const std::string& table,
                                     const std::string& index) {
    const auto stored = StoredIndexName(db, table, index);
    if (!stored) return {};
    return QueryNames(db, "SELECT name FROM pragma_index_info(?) ORDER BY seqno", {*stored});
}

std::string BackupPath(const std::string& databasePath) {
    const std::string folder = GetPath(databasePath);
    const std::string name = GetBaseName(databasePath) + ".bak";
    return folder.empty() ? name : folder + "/" + name;
}

void RetryWhileLocked(const std::function<void()>& step) {
    for (;;) {
        try {
            step();
            return;
        } catch (const DbError& e) {
            if (!e.IsBusy()) throw;
        }
        if (MsgBox(kMsgDesignLocked, MsgButtons::RetryCancel) != MsgResult::Retry) EndProgram();
    }
}

EndProgramAction SetEndProgramAction(EndProgramAction action) {
    return std::exchange(EndAction(), std::move(action));
}

void ReportUnusableDatabase(const std::string& path, const std::string& reason) {
    MsgBox("The song database \"" + path + "\" cannot be used: " + reason +
           ".\n\nSpinx goes on without its song memory: the volume, pitch, equaliser and "
           "start and end marks of your songs are neither recalled nor saved.");
}

} // namespace spinx
