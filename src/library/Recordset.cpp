#include "library/Recordset.h"

#include "library/Mod_Database.h"

#include <sqlite3.h>

#include <algorithm>

namespace spinx {

namespace {

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && sqlite3_strnicmp(a.data(), b.data(), int(a.size())) == 0;
}

DbError Misuse(const std::string& message) {
    return DbError(SQLITE_MISUSE, 0, message);
}

} // namespace

Recordset::Recordset(Database& db, const std::string& table)
    : db_(db), handle_(db.Handle()), table_(table) {
    loadRow_ = std::make_unique<Statement>(db_, "SELECT rowid, * FROM " + QuoteName(table_) +
                                                    " WHERE rowid = ?");
    for (int i = 1; i < loadRow_->ColumnCount(); ++i)
        columns_.push_back(loadRow_->ColumnName(i));
}

Recordset::~Recordset() = default;

void Recordset::SetIndex(const std::string& index) {
    CheckOpen();
    const auto fields = IndexFields(db_, table_, index);
    if (fields.empty()) throw Misuse("'" + index + "' is not an index of the table " + table_);
    keyColumn_ = fields.front();
    seek_ =
        std::make_unique<Statement>(db_, "SELECT rowid, * FROM " + QuoteName(table_) + " WHERE " +
                                             QuoteName(keyColumn_) + " = ? ORDER BY rowid LIMIT 1");
}

void Recordset::Seek(const std::string& comparison, const DbValue& key) {
    CheckOpen();
    if (!seek_) throw Misuse("Seek needs an index");
    if (comparison != "=") throw Misuse("Seek supports only \"=\", not \"" + comparison + "\"");
    mode_ = Mode::Browse;
    current_.reset();
    seek_->Reset();
    seek_->Bind(1, key);
    noMatch_ = !seek_->Step();
    if (!noMatch_) TakeRow(*seek_);
    seek_->Reset();
}

void Recordset::AddNew() {
    CheckOpen();
    mode_ = Mode::AddNew;
    values_.assign(columns_.size(), DbValue());
    changed_.assign(columns_.size(), false);
}

void Recordset::Edit() {
    CheckOpen();
    if (!current_) throw Misuse("No current record.");
    // Start from the row as stored now, not as it was when it was sought.
    LoadRow(*current_);
    mode_ = Mode::Edit;
}

DbValue Recordset::Field(const std::string& name) const {
    CheckOpen();
    const std::size_t column = ColumnIndex(name);
    if (mode_ == Mode::Browse && !current_) throw Misuse("No current record.");
    return values_[column];
}

void Recordset::SetField(const std::string& name, const DbValue& value) {
    CheckOpen();
    const std::size_t column = ColumnIndex(name);
    if (mode_ == Mode::Browse) throw Misuse("Update or CancelUpdate without AddNew or Edit.");
    values_[column] = value;
    changed_[column] = true;
}

void Recordset::Update() {
    CheckOpen();
    if (mode_ == Mode::Browse) throw Misuse("Update or CancelUpdate without AddNew or Edit.");
    std::int64_t rowid = 0;
    if (mode_ == Mode::Edit) {
        rowid = *current_;
        WriteChanges(rowid);
    } else {
        // The key check and the insert are one transaction, so another connection cannot add
        // the same key in between.
        db_.Execute("BEGIN IMMEDIATE");
        try {
            const auto key =
                keyColumn_.empty() ? std::nullopt : std::optional(values_[ColumnIndex(keyColumn_)]);
            const auto existing = key && !key->IsNull() ? FindKey(*key) : std::nullopt;
            if (existing) {
                rowid = *existing;
                WriteChanges(rowid);
            } else {
                rowid = InsertChanges();
            }
            db_.Execute("COMMIT");
        } catch (...) {
            sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
    mode_ = Mode::Browse;
    LoadRow(rowid);
}

void Recordset::Close() {
    seek_.reset();
    loadRow_.reset();
    current_.reset();
    mode_ = Mode::Browse;
    open_ = false;
}

void Recordset::CheckOpen() const {
    if (!open_) throw Misuse("the recordset is closed");
    // A database closed (and perhaps opened again) since the recordset was opened.
    if (db_.Handle() != handle_ || !handle_) throw Misuse("the database is not open");
}

std::size_t Recordset::ColumnIndex(const std::string& name) const {
    const auto found =
        std::find_if(columns_.begin(), columns_.end(),
                     [&](const std::string& column) { return SameName(column, name); });
    if (found == columns_.end()) throw Misuse("Item not found in this collection: " + name);
    return static_cast<std::size_t>(found - columns_.begin());
}

void Recordset::TakeRow(const Statement& st) {
    current_ = st.Column(0).AsInt64();
    values_.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i)
        values_.push_back(st.Column(int(i) + 1));
    changed_.assign(columns_.size(), false);
}

void Recordset::LoadRow(std::int64_t rowid) {
    loadRow_->Reset();
    loadRow_->Bind(1, rowid);
    const bool found = loadRow_->Step();
    if (found) TakeRow(*loadRow_);
    loadRow_->Reset();
    if (!found) {
        current_.reset();
        throw DbError(SQLITE_NOTFOUND, 0, "the row was deleted by another program");
    }
}

std::optional<std::int64_t> Recordset::FindKey(const DbValue& key) {
    Statement st(db_, "SELECT rowid FROM " + QuoteName(table_) + " WHERE " + QuoteName(keyColumn_) +
                          " = ? ORDER BY rowid LIMIT 1");
    st.Bind(1, key);
    if (!st.Step()) return std::nullopt;
    return st.Column(0).AsInt64();
}

std::vector<std::size_t> Recordset::ChangedColumns() const {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (changed_[i]) changed.push_back(i);
    }
    return changed;
}

void Recordset::WriteChanges(std::int64_t rowid) {
    const auto changed = ChangedColumns();
    if (changed.empty()) return;
    std::string assignments;
    for (std::size_t column : changed) {
        assignments += (assignments.empty() ? "" : ", ") + QuoteName(columns_[column]) + " = ?";
    }
    Statement st(db_, "UPDATE " + QuoteName(table_) + " SET " + assignments + " WHERE rowid = ?");
    BindChanges(st, changed);
    st.Bind(int(changed.size()) + 1, rowid);
    st.Step();
    if (sqlite3_changes(db_.Handle()) == 0) {
        throw DbError(SQLITE_NOTFOUND, 0, "the row was deleted by another program");
    }
}

std::int64_t Recordset::InsertChanges() {
    const auto changed = ChangedColumns();
    std::string names;
    std::string marks;
    for (std::size_t column : changed) {
        names += (names.empty() ? "" : ", ") + QuoteName(columns_[column]);
        marks += marks.empty() ? "?" : ", ?";
    }
    Statement st(
        db_, "INSERT INTO " + QuoteName(table_) +
                 (changed.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + marks + ")"));
    BindChanges(st, changed);
    st.Step();
    return sqlite3_last_insert_rowid(db_.Handle());
}

void Recordset::BindChanges(Statement& st, const std::vector<std::size_t>& changed) const {
    for (std::size_t i = 0; i < changed.size(); ++i)
        st.Bind(int(i) + 1, values_[changed[i]]);
}

} // namespace spinx
