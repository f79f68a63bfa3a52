#pragma once

#include <QString>

#include <vector>

class QWidget;

namespace tarvolo::platform {

// Message boxes and other dialogs are asked for here, so that tests can answer them instead of a user.
class DialogService {
public:
    enum class Icon { Information, Warning, Error };
    virtual ~DialogService() = default;
    virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;
};

// Qt's message boxes.
class QtDialogService : public DialogService {
public:
    void ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
};

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
