#pragma once

#include "platform/DialogService.h"

#include <vector>

namespace tarvolo::platform {

// Keeps every message instead of showing it.
class TestDialogService : public DialogService {
public:
    struct Message {
        QString title;
        QString text;
        Icon icon;
    };
    std::vector<Message> messages;
    void ShowMessage(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        messages.push_back({title, text, icon});
    }
};

} // namespace tarvolo::platform
