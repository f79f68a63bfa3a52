#pragma once

#include "DeviceMode.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace tarvolo::platform {

// A file dialog's question. The filter lists pairs of a description and a pattern, all joined by
// "|" ("Report file(*.QRP)|*.QRP|PDF document (*.pdf)|*.pdf"); the default extension, without its
// dot, is added to a name typed without one.
struct FileDialogRequest {
    QString title;
    QString filter;
    QString defaultExtension;
};

// The file the user chose, and which filter pair was selected, counted from 1.
struct FileDialogAnswer {
    QString fileName;
    int filterIndex = 1;
};

// PrintDlg's flags, with their Windows values.
enum : std::uint32_t {
    PD_ALLPAGES = 0x0, PD_SELECTION = 0x1, PD_PAGENUMS = 0x2, PD_NOSELECTION = 0x4, PD_NOPAGENUMS = 0x8,
    PD_COLLATE = 0x10, PD_PRINTTOFILE = 0x20, PD_NOWARNING = 0x80, PD_SHOWHELP = 0x800,
    PD_ENABLEPRINTHOOK = 0x1000, PD_ENABLESETUPHOOK = 0x2000, PD_DISABLEPRINTTOFILE = 0x80000,
    PD_HIDEPRINTTOFILE = 0x100000, PD_CURRENTPAGE = 0x400000, PD_NOCURRENTPAGE = 0x800000,
};

// One range of a page list, as PRINTDLGEX carries it.
struct PrintPageRange {
    std::uint16_t nFromPage = 0;
    std::uint16_t nToPage = 0;
    bool operator==(const PrintPageRange&) const = default;
};

// Which pages of the chosen ones are printed: all, the odd-numbered or the even-numbered.
enum class PrintPageSet : std::uint8_t { All, Odd, Even };

// What a print dialog is started with and gives back, as the PRINTDLG record carries it: the flags,
// the page numbers, the copies, and the printer as a DEVNAMES block and a device mode.
struct PrintDialogBlock {
    std::uint32_t Flags = 0;
    std::uint16_t nFromPage = 0;
    std::uint16_t nToPage = 0;
    std::uint16_t nMinPage = 0;
    std::uint16_t nMaxPage = 0;
    std::uint16_t nCopies = 0;
    // With PD_PAGENUMS, the pages chosen, in ascending order; nFromPage and nToPage are then the
    // lowest and the highest of them. One range when the user chose "from … to".
    std::vector<PrintPageRange> pageRanges;
    PrintPageSet pageSet = PrintPageSet::All;
    bool reverseOrder = false;              // the last page first
    std::vector<std::uint8_t> hDevNames;    // empty: no block, the dialog starts on the default printer
    std::optional<DeviceMode> hDevMode;     // nothing: no device mode
    std::function<void()> shown;            // called once the dialog is on screen
    std::function<void()> closed;           // called when the dialog has gone
};

// Message boxes and other dialogs are asked for here, so that tests can answer them instead of a user.
class DialogService {
public:
    enum class Icon { None, Information, Warning, Error };
    virtual ~DialogService() = default;
    virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;
    // A question with the buttons Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    // Nothing when the user cancels.
    virtual std::optional<FileDialogAnswer> GetSaveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogAnswer> GetOpenFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    // Runs the print dialog on block; true when the user confirmed it, and block then holds the choices.
    virtual bool RunPrintDialog(QWidget* parent, PrintDialogBlock& block) = 0;
};

// Shows an error that reached the application as the application shows such errors: the message
// with a full stop, the program's name as title, the error icon.
void ShowStandardError(DialogService& dialogs, QWidget* parent, const std::exception& error);

} // namespace tarvolo::platform
