#pragma once

#include "StandardWindows.h"

#include <QPointer>
#include <QString>

#include <cstdint>
#include <vector>

class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarvolo::shell {

// One message of a data window's check of its input.
struct TErro {
    QString Mensagem;
    QString Observacao;                 // empty when there is none
    std::int32_t Tipo = 0;              // 0 fatal error, 1 warning, 2 hint, 3 generic
    QPointer<QWidget> Controle;         // the input control the message is about, or none
    QPointer<QWidget> Pagina;           // the tab page that holds Controle, or none
};

// The message analysis window: the messages grouped by kind in a tree, from which the user
// confirms (only without fatal errors), jumps to a message's field, prints the list or leaves.
// Its owner fills ListaErros and the group Booleans, then shows it modally: the result is OK when
// the user confirms, retry when the focus was moved to a message's control, cancel otherwise.
// Closing hides and empties it, ready to be filled again.
class TTelaErros : public TTelaPadrao {
    Q_OBJECT

public:
    TTelaErros(QWidget* owner, platform::RichTextPrinter& printer, platform::DialogService& dialogs);

    TCloseAction AcaoFechar() override;

    // Sorts ListaErros by kind and prints it as one job; errors propagate.
    void btnImprimirClick();
    void btnAtualizarClick();
    void btnConfirmarClick();

    std::vector<TErro> ListaErros;
    bool TemErrosFatais = false;
    bool TemAvisos = false;
    bool TemDicas = false;
    bool TemGenericos = false;
    QTreeWidgetItem* NoErrosFatais = nullptr;
    QTreeWidgetItem* NoAvisos = nullptr;
    QTreeWidgetItem* NoDicas = nullptr;
    QTreeWidgetItem* NoGenericos = nullptr;

    QWidget* pnlTop = nullptr;
    QToolBar* tbrAcao = nullptr;
    QToolButton* btnImprimir = nullptr;
    QToolBar* tbrConfirmar = nullptr;
    QToolButton* btnAtualizar = nullptr;
    QWidget* ToolButton2 = nullptr;
    QToolButton* btnConfirmar = nullptr;
    QTreeWidget* tvwErros = nullptr;

protected:
    void FormCreate() override;
    void FormShow() override;
    void FormClose(TCloseAction& action) override;
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void FormKeyPress(QChar& key) override;

private:
    void tvwErrosChange(QTreeWidgetItem* node);
    void tvwErrosDblClick();
    void tvwErrosKeyPress(QChar& key);
    // Double click, Atualizar and Ctrl+Enter: go to the field of the selected message.
    void IrParaMensagem();
    QTreeWidgetItem* GroupNode(std::int32_t tipo) const;

    platform::RichTextPrinter& printer_;
    platform::DialogService& dialogs_;
};

} // namespace tarvolo::shell
