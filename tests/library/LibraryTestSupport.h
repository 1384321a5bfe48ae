#pragma once
// Shared pieces of the song library tests: a scratch program folder, scripted message boxes,
// a watched end-of-program action, and another program holding the same database file.
#include "library/Mod_Database.h"
#include "library/SongTable.h"
#include "support/MsgBox.h"
#include "support/TestFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <deque>

namespace spinx::test {

// Another program's connection to a database file; its locks last until Release().
class OtherProgram {
  public:
    explicit OtherProgram(const std::string& path) {
        db_.SetBusyTimeout(0);
        db_.Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    }
    void Exec(const std::string& sql) { db_.Execute(sql); }
    void HoldExclusive() { Exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"); }
    void Release() { db_.Close(); }
    // The first column of every row, as text ("NULL" for Null).
    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> values;
        Statement st(db_, sql);
        while (st.Step())
            values.push_back(st.Column(0).IsNull() ? "NULL" : st.Column(0).AsText());
        return values;
    }

  private:
    Database db_;
};

// Each test runs with the program folder in a fresh temporary folder, no song database open,
// message boxes answered from a script (OK when it runs dry), and no waiting on locks.
class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SongDb.SetBusyTimeout(0);
        previousEnd_ = SetEndProgramAction([this] { ++endProgramCalls_; });
        previousMsgBox_ = SetMsgBoxHandler(
            [this](const std::string& text, MsgButtons buttons, const std::string&) {
                texts_.push_back(text);
                buttons_.push_back(buttons);
                if (beforePrompt_) std::exchange(beforePrompt_, {})();
                if (answers_.empty()) return MsgResult::OK;
                const MsgResult answer = answers_.front();
                answers_.pop_front();
                return answer;
            });
    }
    void TearDown() override {
        CloseSongDatabase();
        SongDb.SetBusyTimeout(kDefaultBusyTimeoutMs);
        SetEndProgramAction(std::move(previousEnd_));
        SetMsgBoxHandler(std::move(previousMsgBox_));
    }

    std::string DbPath() const { return folder_ + "/spinx.mdb"; }
    // Column names with their declared types ("Filename TEXT(255)"), in order.
    std::vector<std::string> Columns(const std::string& table = "mp3s") {
        return OtherProgram(DbPath()).Column("SELECT name || ' ' || type FROM pragma_table_info('" +
                                             table + "')");
    }
    // Every value of one column, in row order.
    std::vector<std::string> Values(const std::string& column, const std::string& table = "mp3s") {
        return OtherProgram(DbPath()).Column("SELECT \"" + column + "\" FROM " + table);
    }

    TempFolder dir_;
    const std::string& folder_ = dir_.path();
    std::vector<std::string> texts_;
    std::vector<MsgButtons> buttons_;
    std::deque<MsgResult> answers_;
    std::function<void()> beforePrompt_; // runs inside the next message box
    int endProgramCalls_ = 0;

  private:
    EndProgramAction previousEnd_;
    MsgBoxHandler previousMsgBox_;
};

} // namespace spinx::test
