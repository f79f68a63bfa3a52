#pragma once

#include "platform/DialogService.h"

#include <deque>
#include <vector>

namespace tarvolo::platform {

// Keeps every message and question instead of showing them, and answers the questions with what
// the test queued; a question with nothing queued is answered as if the user cancelled.
class TestDialogService : public DialogService {
public:
    struct Message {
        QString title;
        QString text;
        Icon icon;
    };
    std::vector<Message> messages;

    // Yes/No questions asked, and the answers to give them; an unanswered question gets No.
    std::vector<Message> questions;
    std::deque<bool> yesNoAnswers;

    std::vector<FileDialogRequest> saveRequests;
    std::vector<FileDialogRequest> openRequests;
    std::deque<std::optional<FileDialogAnswer>> saveAnswers;
    std::deque<std::optional<FileDialogAnswer>> openAnswers;

    // Print dialogs: each receives the block as it was started, and answer (if any) changes it
    // as the user would and says whether the user confirmed.
    std::vector<PrintDialogBlock> printRequests;
    std::deque<std::function<bool(PrintDialogBlock&)>> printAnswers;

    void ShowMessage(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        messages.push_back({title, text, icon});
    }
    bool AskYesNo(QWidget*, const QString& title, const QString& text) override
    {
        questions.push_back({title, text, Icon::None});
        if (yesNoAnswers.empty())
            return false;
        const bool yes = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return yes;
    }
    std::optional<FileDialogAnswer> GetSaveFileName(QWidget*, const FileDialogRequest& request) override
    {
        saveRequests.push_back(request);
        return Next(saveAnswers);
    }
    std::optional<FileDialogAnswer> GetOpenFileName(QWidget*, const FileDialogRequest& request) override
    {
        openRequests.push_back(request);
        return Next(openAnswers);
    }
    bool RunPrintDialog(QWidget*, PrintDialogBlock& block) override
    {
        printRequests.push_back(block);
        if (printAnswers.empty())
            return false;
        const auto answer = std::move(printAnswers.front());
        printAnswers.pop_front();
        if (block.shown)
            block.shown();
        const bool confirmed = answer(block);
        if (block.closed)
            block.closed();
        return confirmed;
    }

private:
    template <typename T>
    static std::optional<T> Next(std::deque<std::optional<T>>& answers)
    {
        std::optional<T> answer;
        if (!answers.empty()) {
            answer.swap(answers.front());
            answers.pop_front();
        }
        return answer;
    }
};

} // namespace tarvolo::platform
