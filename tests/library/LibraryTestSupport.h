#pragma once
// Shared pieces of the song library tests: a scratch program folder, scripted message boxes,
// a watched end-of-program action and a second program that holds the database.
#include "library/Mod_Database.h"
#include "support/Mod_MsgBox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

struct sqlite3;

namespace spinx::test {

// Answers message boxes from a script (OK when the script runs dry) and keeps what they said.
class ScriptedMsgBox {
  public:
    ScriptedMsgBox();
    ~ScriptedMsgBox();
    void Answer(MsgResult result) { answers_.push_back(result); }
    // Runs before the next Retry/Cancel prompt is answered (to let go of a lock, say).
    void BeforeNextPrompt(std::function<void()> action) { beforePrompt_ = std::move(action); }
    const std::vector<std::string>& Texts() const { return texts_; }
    const std::vector<MsgButtons>& Buttons() const { return buttons_; }

  private:
    MsgBoxHandler previous_;
    std::deque<MsgResult> answers_;
    std::function<void()> beforePrompt_;
    std::vector<std::string> texts_;
    std::vector<MsgButtons> buttons_;
};

// Another program's connection to a database file, holding a lock until released.
class OtherProgram {
  public:
    explicit OtherProgram(const std::string& path);
    ~OtherProgram();
    // Nobody else may even read.
    void HoldExclusive();
    // Others may read but not write.
    void HoldWriteLock();
    void Release();
    // Runs SQL, failing the test on error.
    void Exec(const std::string& sql);
    // The first column of every row of `sql`, as text ("NULL" for Null).
    std::vector<std::string> Column(const std::string& sql);

  private:
    sqlite3* db_ = nullptr;
};

// Each test runs with the program folder in a fresh temporary folder, no song database open,
// message boxes scripted, and no waiting on locks.
class LibraryTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string Folder() const { return folder_; }
    std::string DbPath() const { return folder_ + "/spinx.mdb"; }
    // Column names with their declared types ("Filename TEXT(255)"), in order.
    std::vector<std::string> Columns(const std::string& table = "mp3s");
    // Every value of one column, in row order.
    std::vector<std::string> Values(const std::string& column, const std::string& table = "mp3s");

    ScriptedMsgBox msgBox_;
    int endProgramCalls_ = 0;

  private:
    std::string folder_;
    EndProgramAction previousEnd_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

} // namespace spinx::test
