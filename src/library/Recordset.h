#pragma once
// A table-type recordset, used the way the decks use the song table: choose an index, seek a
// key, then edit the row found or add a new one, read and set columns by name, and update.
// UI thread only. Failures (a closed database, another program's lock past the busy timeout,
// a full disk) are thrown as DbError; callers check SongDbIsOpen() before they start.
#include "library/Database.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace spinx {

// Opened, used and closed within one UI-thread handler.
class Recordset {
  public:
    // Opens `table` of `db`; throws DbError when the database is closed or has no such table.
    Recordset(Database& db, const std::string& table);
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // The index Seek uses. Throws DbError when the table has no index of that exact name.
    void SetIndex(const std::string& index);
    // Makes the first row, in index order, whose first index field equals `key` the current
    // row. Only the comparison "=" is supported. A pending AddNew or Edit is dropped.
    void Seek(const std::string& comparison, const DbValue& key);
    // The last Seek found nothing (there is then no current row).
    bool NoMatch() const { return noMatch_; }

    // Starts a new row with every column Null.
    void AddNew();
    // Starts changing the current row.
    void Edit();
    // A column of the current row (or of the row being added or edited) by name, without
    // regard to case.
    DbValue Field(const std::string& name) const;
    // Sets a column of the row being added or edited.
    void SetField(const std::string& name, const DbValue& value);
    // Writes the row being added or edited; it then becomes the current row. A new row whose
    // key (the first field of the chosen index) is already in the table is written into that
    // row instead, so the table keeps at most one row per key even when two writers race.
    void Update();

    void Close();
    bool IsOpen() const { return open_; }

  private:
    enum class Mode { Browse, Edit, AddNew };

    void CheckOpen() const;
    std::size_t ColumnIndex(const std::string& name) const;
    // Reads the row a statement of the form "SELECT rowid, * ..." stands on.
    void TakeRow(const Statement& st);
    void LoadRow(std::int64_t rowid);
    std::optional<std::int64_t> FindKey(const DbValue& key);
    std::vector<std::size_t> ChangedColumns() const;
    void BindChanges(Statement& st, const std::vector<std::size_t>& changed) const;
    void WriteChanges(std::int64_t rowid);
    std::int64_t InsertChanges();

    Database& db_;
    sqlite3* handle_; // the connection the statements belong to
    std::string table_;
    std::vector<std::string> columns_;
    std::unique_ptr<Statement> loadRow_;
    std::unique_ptr<Statement> seek_;
    std::string keyColumn_;
    std::optional<std::int64_t> current_; // rowid of the current row
    std::vector<DbValue> values_;         // the current row, or the row being added or edited
    std::vector<bool> changed_;
    Mode mode_ = Mode::Browse;
    bool noMatch_ = false;
    bool open_ = true;
};

} // namespace spinx
