#pragma once
// Driving a deck from a test: loading songs as a user would, answering Yes/No boxes, and
// reading back what the song table holds.
#include "deck/Frm_TurnTable.h"
#include "desktest/DeskTest.h"
#include "engine/Aspinx.h"
#include "library/Mod_Database.h"
#include "library/SongRows.h"
#include "library/SongTable.h"
#include "mp3/Mod_MP3HeaderTag.h"
#include "support/MsgBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace spinx::test {

// Chooses `path` in the deck's Open dialog and waits until the engine has loaded it (the mixer
// then recalls the song's settings).
inline void LoadSong(ScriptedDialogs& scripted, Frm_TurnTable& deck, Aspinx& engine,
                     const std::string& path) {
    scripted.Choose({path});
    deck.Load0Btn_Click();
    ASSERT_TRUE(engine.WaitIdle(5000));
    ASSERT_EQ(deck.Controller().Filename(), path);
}

// One column of the song's row; Null when the song has no row.
inline DbValue Stored(const std::string& song, const char* column) {
    Mp3Info info;
    const std::optional<SongColumns> row = FindSong(GetMP3ID(song, info));
    if (!row) return DbValue();
    const auto value = row->find(column);
    return value == row->end() ? DbValue() : value->second;
}

inline int64_t SongRows() {
    Statement count(SongDb, "SELECT COUNT(*) FROM mp3s");
    return count.Step() ? count.Column(0).AsInt64() : -1;
}

// Answers Yes/No boxes with `answer` (other boxes with OK) while it lives, and keeps the texts.
class AnswerBoxes {
  public:
    explicit AnswerBoxes(MsgResult answer)
        : previous_(SetMsgBoxHandler(
              [this, answer](const std::string& text, MsgButtons buttons, const std::string&) {
                  texts.push_back(text);
                  return buttons == MsgButtons::YesNo ? answer : MsgResult::OK;
              })) {}
    ~AnswerBoxes() { SetMsgBoxHandler(std::move(previous_)); }
    AnswerBoxes(const AnswerBoxes&) = delete;
    AnswerBoxes& operator=(const AnswerBoxes&) = delete;

    std::vector<std::string> texts;

  private:
    MsgBoxHandler previous_;
};

} // namespace spinx::test
