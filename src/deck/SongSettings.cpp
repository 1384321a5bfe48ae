#include "deck/SongSettings.h"

#include "library/Mod_Database.h"
#include "library/SongRows.h"
#include "library/SongTable.h"
#include "mp3/Mod_MP3HeaderTag.h"
#include "mp3/SongTitle.h"
#include "support/Mod_Diskinfo.h"

#include <cmath>

namespace spinx {

namespace {
// The columns that say which file the row was last seen as.
void PutIdentity(SongColumns& row, const std::string& id, const std::string& filename) {
    row[songcol::MP3ID] = id;
    row[songcol::Filename] = GetBaseName(filename);
    row[songcol::Path] = filename;
}

DbValue Column(const SongColumns& row, const char* name) {
    const auto value = row.find(name);
    return value == row.end() ? DbValue() : value->second;
}

DbValue Optional(const std::optional<int32_t>& value) {
    return value ? DbValue(*value) : DbValue();
}
} // namespace

std::optional<RecalledSong> RecallSong(const std::string& filename, int32_t overlap) {
    // Also leaves the file's tag in LastMp3Info.
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return std::nullopt;
    const std::optional<SongColumns> row = FindSong(id);
    SongColumns changes;
    if (!row) {
        changes[songcol::Volume] = 0;
        changes[songcol::Pitch] = 1000;
    }
    // A song whose only tag is a newer one gets its names from that.
    const SongTitle named = LastMp3Info.HasTag ? SongTitle{LastMp3Info.Title, LastMp3Info.Artist}
                                               : ReadSongTitle(filename);
    changes[songcol::Title] = named.title;
    changes[songcol::Artist] = named.artist;
    PutIdentity(changes, id, filename);

    const SongColumns stored = row.value_or(changes);
    RecalledSong song;
    song.volume = Column(stored, songcol::Volume).AsLong(0);
    // Rows older than the pitch column have none: they get what a new row gets.
    song.pitch = Column(stored, songcol::Pitch).AsLong(1000);
    song.eq = Column(stored, songcol::EQ).AsText();
    song.start = Column(stored, songcol::Start).AsLong(0);
    const DbValue end = Column(stored, songcol::End);
    if (!end.IsNull() && end.AsLong(0) > 0) {
        song.end = end.AsLong(0);
    } else {
        song.end = overlap;
        changes[songcol::End] = overlap;
    }
    SaveSong(id, changes);
    return song;
}

bool StoreSong(const std::string& filename, int32_t volume, int32_t pitch, const EqGains& eq) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    SongColumns changes{
        {songcol::Volume, volume}, {songcol::Pitch, pitch}, {songcol::EQ, EncodeEq(eq)}};
    PutIdentity(changes, id, filename);
    SaveSong(id, changes);
    return true;
}

bool SongHasRow(const std::string& filename) {
    const std::string id = GetMP3ID(filename);
    return !id.empty() && FindSong(id).has_value();
}

bool StoreMarkers(const std::string& filename, std::optional<int32_t> start,
                  std::optional<int32_t> end) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    SongColumns changes;
    if (start) changes[songcol::Start] = *start;
    if (end) changes[songcol::End] = *end;
    return UpdateSong(id, changes);
}

std::optional<SongLevel> StoredLoudness(const std::string& filename) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return std::nullopt;
    const std::optional<SongColumns> row = FindSong(id);
    if (!row) return std::nullopt;
    const std::optional<double> lufs = LoudnessFromDb(Column(*row, songcol::Loudness));
    if (!lufs) return std::nullopt;
    // Both are hundredths of a decibel.
    return SongLevel{*lufs, LoudnessFromDb(Column(*row, songcol::Peak))};
}

bool StoreLoudness(const std::string& filename, const SongLevel& level) {
    const std::string id = GetMP3ID(filename);
    SongColumns changes{{songcol::Loudness, LoudnessToDb(level.lufs)}};
    if (level.peakDb) changes[songcol::Peak] = LoudnessToDb(*level.peakDb);
    return !id.empty() && UpdateSong(id, changes);
}

std::optional<StoredMusic> StoredSongMusic(const std::string& filename) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return std::nullopt;
    const std::optional<SongColumns> row = FindSong(id);
    if (!row || Column(*row, songcol::Analysed).IsNull()) return std::nullopt;
    StoredMusic music;
    music.version = Column(*row, songcol::Analysed).AsLong(0);
    if (const DbValue bpm = Column(*row, songcol::BPM); !bpm.IsNull())
        music.bpm = bpm.AsLong(0) / 100.0;
    music.firstBeatMs = Column(*row, songcol::FirstBeat).AsLong(0);
    music.downbeatMs = Column(*row, songcol::Downbeat).AsLong(0);
    music.keyCode = Column(*row, songcol::Key).AsText();
    if (const DbValue in = Column(*row, songcol::MixIn); !in.IsNull()) music.mixInMs = in.AsLong(0);
    if (const DbValue out = Column(*row, songcol::MixOut); !out.IsNull())
        music.mixOutMs = out.AsLong(0);
    return music;
}

bool StoreSongMusic(const std::string& filename, const StoredMusic& music) {
    const std::string id = GetMP3ID(filename);
    if (id.empty()) return false;
    const DbValue bpm =
        music.bpm ? DbValue(static_cast<int32_t>(std::lround(*music.bpm * 100))) : DbValue();
    return UpdateSong(id, {{songcol::Analysed, music.version},
                           {songcol::BPM, bpm},
                           {songcol::FirstBeat, music.firstBeatMs},
                           {songcol::Downbeat, music.downbeatMs},
                           {songcol::Key, music.keyCode},
                           {songcol::MixIn, Optional(music.mixInMs)},
                           {songcol::MixOut, Optional(music.mixOutMs)}});
}

} // namespace spinx
