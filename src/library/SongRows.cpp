#include "library/SongRows.h"

#include "library/Database.h"
#include "library/Mod_Database.h"
#include "library/SongTable.h"

namespace spinx {

namespace {
std::optional<std::int64_t> RowOf(const std::string& id) {
    Statement find(SongDb, "SELECT rowid FROM mp3s WHERE MP3ID = ? ORDER BY rowid LIMIT 1");
    find.Bind(1, id);
    if (!find.Step()) return std::nullopt;
    return find.Column(0).AsInt64();
}

void Update(std::int64_t row, const SongColumns& changes) {
    if (changes.empty()) return;
    std::string sql = "UPDATE mp3s SET ";
    for (const auto& [column, value] : changes)
        sql += (sql.back() == ' ' ? "" : ", ") + QuoteName(column) + " = ?";
    Statement update(SongDb, sql + " WHERE rowid = ?");
    int at = 1;
    for (const auto& [column, value] : changes)
        update.Bind(at++, value);
    update.Bind(at, DbValue(row));
    update.Step();
}

// Runs `work` in an immediate transaction, so that a second writer waits for it.
template <class Work> auto InTransaction(Work work) {
    SongDb.Execute("BEGIN IMMEDIATE");
    try {
        auto result = work();
        SongDb.Execute("COMMIT");
        return result;
    } catch (...) {
        try {
            SongDb.Execute("ROLLBACK");
        } catch (const DbError&) {
            // The error being thrown says more.
        }
        throw;
    }
}
} // namespace

std::optional<SongColumns> FindSong(const std::string& id) {
    Statement find(SongDb, "SELECT * FROM mp3s WHERE MP3ID = ? ORDER BY rowid LIMIT 1");
    find.Bind(1, id);
    if (!find.Step()) return std::nullopt;
    SongColumns row;
    for (int c = 0; c < find.ColumnCount(); ++c)
        row[find.ColumnName(c)] = find.Column(c);
    return row;
}

void SaveSong(const std::string& id, const SongColumns& changes) {
    InTransaction([&] {
        if (const std::optional<std::int64_t> row = RowOf(id)) {
            Update(*row, changes);
            return true;
        }
        std::string columns = QuoteName(songcol::MP3ID), marks = "?";
        for (const auto& [column, value] : changes) {
            if (::strcasecmp(column.c_str(), songcol::MP3ID) == 0) continue;
            columns += ", " + QuoteName(column);
            marks += ", ?";
        }
        Statement insert(SongDb, "INSERT INTO mp3s (" + columns + ") VALUES (" + marks + ")");
        int at = 1;
        insert.Bind(at++, id);
        for (const auto& [column, value] : changes)
            if (::strcasecmp(column.c_str(), songcol::MP3ID) != 0) insert.Bind(at++, value);
        insert.Step();
        return true;
    });
}

bool UpdateSong(const std::string& id, const SongColumns& changes) {
    return InTransaction([&] {
        const std::optional<std::int64_t> row = RowOf(id);
        if (row) Update(*row, changes);
        return row.has_value();
    });
}

} // namespace spinx
