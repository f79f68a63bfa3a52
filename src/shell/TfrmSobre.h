#pragma once

#include "StandardWindows.h"

class QLabel;
class QPushButton;

namespace tarvolo::platform {
class DesktopLinks;
}

namespace tarvolo::shell {

// The About window's layout: logo, the system's name, the version, the copyright line and the
// maker's e-mail and web links.
class TTelaSobre : public TTelaDados {
    Q_OBJECT

public:
    TTelaSobre(QWidget* owner, bool ComTelaErros, platform::DesktopLinks& links);

    // Opens an e-mail to the address the clicked label shows.
    void EnviarEMail(QLabel* sender);
    void lblHttpClick();
    void btnConfirmarClick();

    QLabel* imgLogo = nullptr;
    QLabel* lblSistema = nullptr;
    QLabel* lblTitulo = nullptr;
    QLabel* lblVersao = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblEmails = nullptr;
    QLabel* lblEmail1 = nullptr;
    QLabel* lblEmail2 = nullptr;
    QLabel* lblWebsite = nullptr;
    QLabel* lblHttp = nullptr;
    QPushButton* btnConfirmar = nullptr;

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* createLabel(const char* name, const QString& text, QPoint at);
    QLabel* createLink(const char* name, const QString& text, QPoint at);

    platform::DesktopLinks& links_;
};

// This system's About window.
class TfrmSobre : public TTelaSobre {
    Q_OBJECT

public:
    TfrmSobre(QWidget* owner, bool ComTelaErros, platform::DesktopLinks& links);

    // The running program's version: "1.05.2.300", with "*" on a build that is not a release build.
    static QString VersaoExecutavel();

protected:
    void FormCreate() override;
};

} // namespace tarvolo::shell
