#pragma once
// The song table's rows as the desk reads and writes them: a song's row found by its
// identifier, and changes written into it (or a new row) in one transaction. UI thread only.
// Failures are thrown as DbError; callers check SongDbIsOpen() first.
#include "library/DbValue.h"

#include <map>
#include <optional>
#include <string>
#include <strings.h>

namespace spinx {

struct ColumnNameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return ::strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};
// Column values by name (in any case); a column the row leaves empty is Null.
using SongColumns = std::map<std::string, DbValue, ColumnNameLess>;

// The row of the song with identifier `id`; nothing when it has none.
std::optional<SongColumns> FindSong(const std::string& id);
// Writes `changes` into the song's row, or adds one (its identifier and `changes`) when there is
// none. One transaction: two writers never make two rows for one song.
void SaveSong(const std::string& id, const SongColumns& changes);
// Writes `changes` into the song's existing row; false when it has none.
bool UpdateSong(const std::string& id, const SongColumns& changes);

} // namespace spinx
