#include "library/SongTable.h"

#include "library/Mod_Database.h"
#include "support/DataLocation.h"

#include <cmath>

namespace spinx {

bool PrepareSongDatabase(const std::string& path) {
    try {
        OpenDB(SongDb, path);
        if (!SongDb.IsOpen()) return false; // OpenDB has told the user why
        // The order of these calls is the column order of a new table.
        EnsureField(SongDb, kSongTable, songcol::Filename, dbText, 255);
        EnsureField(SongDb, kSongTable, songcol::Path, dbMemo);
        EnsureField(SongDb, kSongTable, songcol::MP3ID, dbText, 255);
        EnsureField(SongDb, kSongTable, songcol::EQ, dbText, 10);
        EnsureField(SongDb, kSongTable, songcol::Volume, dbLong);
        EnsureField(SongDb, kSongTable, songcol::Pitch, dbLong);
        EnsureField(SongDb, kSongTable, songcol::Title, dbText, 255);
        EnsureField(SongDb, kSongTable, songcol::Artist, dbText, 255);
        EnsureIndex(SongDb, kSongTable, kSongIndex, songcol::MP3ID);
        EnsureField(SongDb, kSongTable, songcol::Start, dbLong);
        EnsureField(SongDb, kSongTable, songcol::End, dbLong);
        EnsureField(SongDb, kSongTable, songcol::Loudness, dbLong);
        RetryWhileLocked([] { SongDb.Execute(kVolumeRepair); });
        return true;
    } catch (const DbError& e) {
        SongDb.Close();
        ReportUnusableDatabase(path, DbErrorReason(e));
        return false;
    }
}

std::optional<double> LoudnessFromDb(const DbValue& stored) {
    if (!stored.IsLong()) return std::nullopt;
    return static_cast<double>(stored.AsInt64()) / 100.0;
}

DbValue LoudnessToDb(double lufs) {
    return static_cast<std::int64_t>(std::lround(lufs * 100.0));
}

void CloseSongDatabase() {
    SongDb.Close();
}

bool SongDbIsOpen() {
    return SongDb.IsOpen();
}

std::string SongDatabasePath() {
    return DataFolder() + "/spinx.mdb";
}

} // namespace spinx
