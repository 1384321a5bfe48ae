#include "library/SongTable.h"

#include "library/Mod_Database.h"
#include "support/DataLocation.h"

#include <cmath>

namespace spinx {

namespace {
// The preparation in one transaction: a new file gets a dozen design changes, and one commit
// syncs the disk once where a commit per change synced it a dozen times (felt on a busy disk).
// Left uncommitted (an error, the user ending the program), it is rolled back.
class PreparationTransaction {
  public:
    PreparationTransaction() {
        RetryWhileLocked([] { SongDb.Execute("BEGIN IMMEDIATE"); });
    }
    ~PreparationTransaction() {
        if (committed_ || !SongDb.IsOpen()) return;
        try {
            SongDb.Execute("ROLLBACK");
        } catch (const DbError&) {
            // Closing the database, which the caller does next, rolls back as well.
        }
    }
    PreparationTransaction(const PreparationTransaction&) = delete;
    PreparationTransaction& operator=(const PreparationTransaction&) = delete;
    void Commit() {
        RetryWhileLocked([] { SongDb.Execute("COMMIT"); });
        committed_ = true;
    }

  private:
    bool committed_ = false;
};
} // namespace

bool PrepareSongDatabase(const std::string& path) {
    try {
        OpenDB(SongDb, path);
        if (!SongDb.IsOpen()) return false; // OpenDB has told the user why
        PreparationTransaction transaction;
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
        for (const char* column : {songcol::BPM, songcol::FirstBeat, songcol::Downbeat})
            EnsureField(SongDb, kSongTable, column, dbLong);
        EnsureField(SongDb, kSongTable, songcol::Key, dbText, 3);
        for (const char* column :
             {songcol::MixIn, songcol::MixOut, songcol::Analysed, songcol::Peak})
            EnsureField(SongDb, kSongTable, column, dbLong);
        RetryWhileLocked([] { SongDb.Execute(kVolumeRepair); });
        transaction.Commit();
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
