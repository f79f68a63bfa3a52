#pragma once

#include <QString>

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

} // namespace tarvolo::platform
