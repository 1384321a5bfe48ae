#pragma once
// Answers file dialogs from a queue (an empty queue cancels), message boxes from another (an
// empty one answers OK) and list choices by item name, and remembers what was shown.
#include "support/FileChooser.h"
#include "support/ListChoice.h"
#include "support/MsgBox.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace spinx::test {

class ScriptedDialogs {
  public:
    using Shown = FileRequest;

    ScriptedDialogs()
        : previousPresenter_(SetFileDialogPresenter([this](const FileRequest& request) {
              dialogs.push_back(request);
              std::optional<FileDialogAnswer> answer;
              if (!answers_.empty()) {
                  answer = answers_.front();
                  answers_.pop_front();
              }
              return answer;
          })),
          previousMsgBox_(
              SetMsgBoxHandler([this](const std::string& text, MsgButtons, const std::string&) {
                  messages.push_back(text);
                  if (replies.empty()) return MsgResult::OK;
                  const MsgResult reply = replies.front();
                  replies.pop_front();
                  return reply;
              })),
          previousChooser_(SetListChooser([this](const ListChoice& choice) -> std::optional<int> {
              lists.push_back(choice);
              for (size_t i = 0; i < choice.items.size(); ++i)
                  if (choice.items[i] == pick) return static_cast<int>(i);
              return std::nullopt;
          })) {}
    ~ScriptedDialogs() {
        SetFileDialogPresenter(std::move(previousPresenter_));
        SetMsgBoxHandler(std::move(previousMsgBox_));
        SetListChooser(std::move(previousChooser_));
    }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    void Choose(std::vector<std::string> files, int filterIndex = 0) {
        answers_.push_back(FileDialogAnswer{std::move(files), filterIndex});
    }
    void Cancel() { answers_.push_back(std::nullopt); }

    std::vector<Shown> dialogs;
    std::vector<std::string> messages;
    std::deque<MsgResult> replies;
    std::string pick; // the list item chosen by name; none there cancels
    std::vector<ListChoice> lists;

  private:
    std::deque<std::optional<FileDialogAnswer>> answers_;
    FileDialogPresenter previousPresenter_;
    MsgBoxHandler previousMsgBox_;
    ListChooser previousChooser_;
};

} // namespace spinx::test
