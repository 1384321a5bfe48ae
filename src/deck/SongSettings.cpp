#include "deck/SongSettings.h"

#include "library/Mod_Database.h"
#include "library/Recordset.h"
#include "library/SongTable.h"
#include "mp3/Mod_MP3HeaderTag.h"
#include "mp3/SongTitle.h"
#include "support/Mod_Diskinfo.h"

#include <cmath>

namespace spinx {

namespace {
// The song table positioned on the song's row (NoMatch() when it has none).
struct SongRow {
    explicit SongRow(const std::string& id) : table(SongDb, kSongTable) {
        table.SetIndex(kSongIndex);
        table.Seek("=", id);
    }
    Recordset table;
};

void WriteIdentity(Recordset& table, const std::string& id, const std::string& filename) {
    table.SetField(songcol::MP3ID, id);
    table.SetField(songcol::Filename, GetBaseName(filename));
    table.SetField(songcol::Path, filename);
}
} // namespace

std::optional<RecalledSong> RecallSong(const std::string& filename, int32_t overlap) {
    // Also leaves the file's tag in LastMp3Info.
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return std::nullopt;
    SongRow row(id);
    Recordset& table = row.table;
    if (table.NoMatch()) {
        table.AddNew();
        table.SetField(songcol::Volume, 0);
        table.SetField(songcol::Pitch, 1000);
    } else {
        table.Edit();
    }
    // A song whose only tag is a newer one gets its names from that.
    const SongTitle named = LastMp3Info.HasTag ? SongTitle{LastMp3Info.Title, LastMp3Info.Artist}
                                               : ReadSongTitle(filename);
    table.SetField(songcol::Title, named.title);
    table.SetField(songcol::Artist, named.artist);
    WriteIdentity(table, id, filename);

    RecalledSong song;
    song.volume = table.Field(songcol::Volume).AsLong(0);
    // Rows older than the pitch column have none: they get what a new row gets.
    song.pitch = table.Field(songcol::Pitch).AsLong(1000);
    song.eq = table.Field(songcol::EQ).AsText();
    song.start = table.Field(songcol::Start).AsLong(0);
    const DbValue end = table.Field(songcol::End);
    if (!end.IsNull() && end.AsLong(0) > 0) {
        song.end = end.AsLong(0);
    } else {
        song.end = overlap;
        table.SetField(songcol::End, overlap);
    }
    table.Update();
    table.Close();
    return song;
}

bool StoreSong(const std::string& filename, int32_t volume, int32_t pitch, const EqGains& eq) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    SongRow row(id);
    Recordset& table = row.table;
    if (table.NoMatch())
        table.AddNew();
    else
        table.Edit();
    WriteIdentity(table, id, filename);
    table.SetField(songcol::Volume, volume);
    table.SetField(songcol::Pitch, pitch);
    table.SetField(songcol::EQ, EncodeEq(eq));
    table.Update();
    table.Close();
    return true;
}

bool SongHasRow(const std::string& filename) {
    const std::string id = GetMP3ID(filename);
    return !id.empty() && !SongRow(id).table.NoMatch();
}

bool StoreMarkers(const std::string& filename, std::optional<int32_t> start,
                  std::optional<int32_t> end) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    SongRow row(id);
    Recordset& table = row.table;
    if (table.NoMatch()) return false;
    table.Edit();
    if (start) table.SetField(songcol::Start, *start);
    if (end) table.SetField(songcol::End, *end);
    table.Update();
    table.Close();
    return true;
}

} // namespace spinx

namespace spinx {

std::optional<double> StoredLoudness(const std::string& filename) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return std::nullopt;
    SongRow row(id);
    if (row.table.NoMatch()) return std::nullopt;
    return LoudnessFromDb(row.table.Field(songcol::Loudness));
}

bool StoreLoudness(const std::string& filename, double lufs) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    SongRow row(id);
    if (row.table.NoMatch()) return false;
    row.table.Edit();
    row.table.SetField(songcol::Loudness, LoudnessToDb(lufs));
    row.table.Update();
    row.table.Close();
    return true;
}

std::optional<StoredMusic> StoredSongMusic(const std::string& filename) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return std::nullopt;
    SongRow row(id);
    if (row.table.NoMatch() || row.table.Field(songcol::Analysed).IsNull()) return std::nullopt;
    const Recordset& t = row.table;
    StoredMusic music;
    music.version = t.Field(songcol::Analysed).AsLong(0);
    if (!t.Field(songcol::BPM).IsNull()) music.bpm = t.Field(songcol::BPM).AsLong(0) / 100.0;
    music.firstBeatMs = t.Field(songcol::FirstBeat).AsLong(0);
    music.downbeatMs = t.Field(songcol::Downbeat).AsLong(0);
    music.keyCode = t.Field(songcol::Key).AsText();
    if (!t.Field(songcol::MixIn).IsNull()) music.mixInMs = t.Field(songcol::MixIn).AsLong(0);
    if (!t.Field(songcol::MixOut).IsNull()) music.mixOutMs = t.Field(songcol::MixOut).AsLong(0);
    return music;
}

bool StoreSongMusic(const std::string& filename, const StoredMusic& music) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    SongRow row(id);
    if (row.table.NoMatch()) return false;
    Recordset& t = row.table;
    t.Edit();
    t.SetField(songcol::Analysed, music.version);
    t.SetField(songcol::BPM, music.bpm
                                 ? DbValue(static_cast<int32_t>(std::lround(*music.bpm * 100)))
                                 : DbValue());
    t.SetField(songcol::FirstBeat, music.firstBeatMs);
    t.SetField(songcol::Downbeat, music.downbeatMs);
    t.SetField(songcol::Key, music.keyCode);
    t.SetField(songcol::MixIn, music.mixInMs ? DbValue(*music.mixInMs) : DbValue());
    t.SetField(songcol::MixOut, music.mixOutMs ? DbValue(*music.mixOutMs) : DbValue());
    t.Update();
    t.Close();
    return true;
}

} // namespace spinx
