#include "library/Database.h"

#include <sqlite3.h>

#include <cmath>
#include <utility>

namespace spinx {

bool DbError::IsBusy() const {
    return Code() == SQLITE_BUSY || Code() == SQLITE_LOCKED;
}

Database::~Database() {
    Close();
}

void Database::Open(const std::string& path, int flags) {
    Close();
    path_ = path;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        DbError error(rc, db ? sqlite3_system_errno(db) : 0,
                      db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        throw error;
    }
    db_ = db;
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
}

void Database::Close() {
    // close_v2 defers the real close until a recordset that is still alive lets go of it.
    if (db_) sqlite3_close_v2(std::exchange(db_, nullptr));
}

void Database::SetBusyTimeout(int ms) {
    busyTimeoutMs_ = ms;
    if (db_) sqlite3_busy_timeout(db_, ms);
}

void Database::Execute(const std::string& sql) {
    if (!db_) throw DbError(SQLITE_MISUSE, 0, "the database is not open");
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throw LastError(rc);
}

DbError Database::LastError(int code) const {
    if (!db_) return DbError(code, 0, sqlite3_errstr(code));
    return DbError(code, sqlite3_system_errno(db_), sqlite3_errmsg(db_));
}

Statement::Statement(const Database& db, std::string_view sql) : db_(db) {
    if (!db.IsOpen()) throw DbError(SQLITE_MISUSE, 0, "the database is not open");
    const int rc =
        sqlite3_prepare_v2(db.Handle(), sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) throw db.LastError(rc);
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

void Statement::Bind(int index, const DbValue& value) {
    int rc = SQLITE_OK;
    if (value.IsNull()) {
        rc = sqlite3_bind_null(stmt_, index);
    } else if (value.IsLong()) {
        rc = sqlite3_bind_int64(stmt_, index, value.AsInt64());
    } else {
        const std::string text = value.AsText();
        rc = sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK) throw db_.LastError(rc);
}

bool Statement::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const DbError error = db_.LastError(rc);
    sqlite3_reset(stmt_);
    throw error;
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int Statement::ColumnCount() const {
    return sqlite3_column_count(stmt_);
}

std::string Statement::ColumnName(int column) const {
    const char* name = sqlite3_column_name(stmt_, column);
    return name ? name : "";
}

DbValue Statement::Column(int column) const {
    switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return DbValue(static_cast<std::int64_t>(sqlite3_column_int64(stmt_, column)));
    case SQLITE_FLOAT:
        return DbValue(
            static_cast<std::int64_t>(std::llround(sqlite3_column_double(stmt_, column))));
    default:
        break;
    }
    // Text and blobs alike come back with their stored length, NUL bytes included.
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return DbValue(std::string(bytes ? bytes : "", static_cast<std::size_t>(size)));
}

std::string QuoteName(const std::string& name) {
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace spinx
