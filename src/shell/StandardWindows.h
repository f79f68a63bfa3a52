#pragma once

#include <QDialog>
#include <QList>
#include <QStatusBar>

#include <exception>
#include <functional>

class QKeyEvent;
class QLabel;
class QMenuBar;
class QVBoxLayout;

namespace tarvolo::platform {
class DialogService;
class RichTextPrinter;
} // namespace tarvolo::platform

namespace tarvolo::shell {

class TTelaErros;

// The results a modal window ends with.
enum ModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4 };

// What a window does when it closes: stay open, hide, be destroyed once the close completes, or minimize.
enum class TCloseAction { None, Hide, Free, Minimize };


// A status bar split into panels; every panel but the last keeps its width, the last takes the rest.
class TStatusBar : public QStatusBar {
public:
    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanels(const QList<int>& widths);
    int PanelCount() const;
    QLabel* Panel(int index) const;
    QString PanelText(int index) const;
    // Writes a panel only when it exists.
    void SetPanelText(int index, const QString& text);
    int PanelWidth(int index) const;
    void SetPanelWidth(int index, int width);

private:
    QList<QLabel*> panels_;
};

// The application-wide focus-change handler: one slot, run each time the focused control changes
// anywhere in the application. Installing a handler replaces the previous one; an empty one clears it.
class FocusChangeHandler {
public:
    using Handler = std::function<void()>;
    static Handler Current();
    static void Install(Handler handler);
};

// The root of the shell's windows: sets the font.
class TTelaOrigem : public QDialog {
    Q_OBJECT

public:
    explicit TTelaOrigem(QWidget* owner = nullptr);
    ~TTelaOrigem() override;

    // Runs the window's creation handler, the most derived FormCreate, once. Constructors cannot
    // reach a descendant's handler, so whoever creates a standard window calls this right after
    // constructing it; a window shown without it runs it then.
    void Create();

    // The standard windows in existence, the most recently activated first.
    static QList<TTelaOrigem*> WindowsByFocus();

protected:
    virtual void FormCreate();

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool created_ = false;
};

// A standard window: status bar, key handling (Enter moves to the next field), close action and
// the status-panel width.
class TTelaPadrao : public TTelaOrigem {
    Q_OBJECT

public:
    explicit TTelaPadrao(QWidget* owner = nullptr);
    ~TTelaPadrao() override;

    // The close action the window takes when it closes.
    virtual TCloseAction AcaoFechar();

    // Every end of the window (its modal loop, the close box, Esc) runs FormClose first.
    void done(int result) override;
    int exec() override;

    // The character a key press types as the window's key handlers see it, or a null character:
    // Ctrl with a letter gives its control code (Ctrl+C is 3), Ctrl+Enter a line feed.
    static QChar KeyCharacter(const QKeyEvent* event);

    TStatusBar* stbPadrao = nullptr;

protected:
    void FormCreate() override;
    virtual void FormShow();
    virtual void FormClose(TCloseAction& action);
    // key := 0 consumes the key: no key press follows and the focused control does not see it.
    virtual void FormKeyDown(int& key, Qt::KeyboardModifiers shift);
    // key := a null character swallows it.
    virtual void FormKeyPress(QChar& key);
    void KeyDown(int& key, Qt::KeyboardModifiers shift);

    // Places a widget in the client area, above stbPadrao.
    void AddClient(QWidget* widget, int stretch = 0);
    QVBoxLayout* FormLayout() const { return layout_; }

    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool HandleKey(QKeyEvent* event);

    QVBoxLayout* layout_ = nullptr;
    bool inModalLoop_ = false;
    bool ShiftPressionado = false;
    bool CtrlPressionado = false;
    // The key press the window's handlers took, while it travels on to the window.
    const QEvent* handledKey_ = nullptr;
};

// The application's main window: main menu, starts maximized, and the status-bar share every
// standard window's panel 0 takes while it is the application's main window.
class TTelaPrincipal : public TTelaPadrao {
    Q_OBJECT
    Q_PROPERTY(int PercStatusBar MEMBER PercStatusBar)

public:
    explicit TTelaPrincipal(QWidget* owner = nullptr);
    ~TTelaPrincipal() override;

    // The application's main window, or null; the program registers it once created.
    static TTelaPrincipal* ApplicationMainWindow();
    static void SetApplicationMainWindow(TTelaPrincipal* window);

    QMenuBar* mnmMenu = nullptr;
    int PercStatusBar = 0;
};

// A data window: data panel, the focused field's hint in the status bar, highlighted field labels,
// Esc leaves, and optionally an owned message analysis window.
class TTelaDados : public TTelaPadrao {
    Q_OBJECT

public:
    TTelaDados(QWidget* owner, bool ComTelaErros);
    ~TTelaDados() override;

    // Ends the window's modal loop with abort.
    void SaiTela();
    // The focus-change handler a data window installs application-wide.
    void MudouControleAtivo();

    // What the message analysis windows of data windows print and report errors with; the program
    // sets them once. Without them, Qt's printer and dialogs serve.
    static void SetServices(platform::RichTextPrinter* printer, platform::DialogService* dialogs);

    QWidget* pnlDados = nullptr;
    TTelaErros* TelaErros = nullptr;

protected:
    void FormCreate() override;
    void FormKeyPress(QChar& key) override;
    // Runs from the destructor.
    void FormDestroy();

private:
    bool PossuiTelaErros = false;
    QString NomeOriginal;
    FocusChangeHandler::Handler EventoAnterior;
};

} // namespace tarvolo::shell
