#include "LibraryTestSupport.h"

#include "library/SongTable.h"
#include "support/ProgramFolder.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace spinx::test {

ScriptedMsgBox::ScriptedMsgBox() {
    previous_ =
        SetMsgBoxHandler([this](const std::string& text, MsgButtons buttons, const std::string&) {
            texts_.push_back(text);
            buttons_.push_back(buttons);
            if (buttons == MsgButtons::RetryCancel && beforePrompt_)
                std::exchange(beforePrompt_, {})();
            if (answers_.empty()) return MsgResult::OK;
            const MsgResult answer = answers_.front();
            answers_.pop_front();
            return answer;
        });
}

ScriptedMsgBox::~ScriptedMsgBox() {
    SetMsgBoxHandler(std::move(previous_));
}

OtherProgram::OtherProgram(const std::string& path) {
    EXPECT_EQ(
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
        SQLITE_OK);
}

OtherProgram::~OtherProgram() {
    Release();
}

void OtherProgram::HoldExclusive() {
    Exec("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;");
}

void OtherProgram::HoldWriteLock() {
    Exec("BEGIN IMMEDIATE;");
}

void OtherProgram::Release() {
    if (db_) sqlite3_close_v2(std::exchange(db_, nullptr));
}

void OtherProgram::Exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (error ? error : "");
    sqlite3_free(error);
}

std::vector<std::string> OtherProgram::Column(const std::string& sql) {
    std::vector<std::string> values;
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        values.push_back(sqlite3_column_type(st, 0) == SQLITE_NULL ? "NULL" : text);
    }
    sqlite3_finalize(st);
    return values;
}

void LibraryTest::SetUp() {
    char pattern[] = "/tmp/spinx-library-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    SetProgramFolder(folder_);
    SongDb.SetBusyTimeout(0);
    previousEnd_ = SetEndProgramAction([this] { ++endProgramCalls_; });
}

void LibraryTest::TearDown() {
    CloseSongDatabase();
    SongDb.SetBusyTimeout(kDefaultBusyTimeoutMs);
    SetEndProgramAction(std::move(previousEnd_));
    SetProgramFolder("");
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::vector<std::string> LibraryTest::Columns(const std::string& table) {
    OtherProgram reader(DbPath());
    return reader.Column("SELECT name || ' ' || type FROM pragma_table_info('" + table + "')");
}

std::vector<std::string> LibraryTest::Values(const std::string& column, const std::string& table) {
    OtherProgram reader(DbPath());
    return reader.Column("SELECT \"" + column + "\" FROM \"" + table + "\" ORDER BY rowid");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

} // namespace spinx::test
