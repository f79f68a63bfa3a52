#pragma once

#include "PageChoice.h"
#include "platform/DialogService.h"
#include "platform/PrinterDevice.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

class QWidget;

namespace tarvolo::printing {

enum class TPrintDialogOption : std::uint8_t {
    poPrintToFile, poPageNums, poSelection, poWarning, poHelp, poDisablePrintToFile, poCurrentPage
};
enum class TPrintRange : std::uint8_t { prAllPages, prSelection, prPageNums, prCurrentPage };

// A set of print dialog options.
class TPrintDialogOptions {
public:
    constexpr TPrintDialogOptions() = default;
    constexpr TPrintDialogOptions(std::initializer_list<TPrintDialogOption> options)
    {
        for (const TPrintDialogOption option : options)
            Include(option);
    }

    constexpr bool Contains(TPrintDialogOption option) const { return (bits_ & Bit(option)) != 0; }
    constexpr void Include(TPrintDialogOption option) { bits_ |= Bit(option); }
    constexpr void Exclude(TPrintDialogOption option) { bits_ &= ~Bit(option); }
    constexpr bool operator==(const TPrintDialogOptions&) const = default;

private:
    static constexpr std::uint32_t Bit(TPrintDialogOption option) { return 1U << static_cast<unsigned>(option); }

    std::uint32_t bits_ = 0;
};

// What every dialog object has: its notifications and whether it is on screen.
class TQRCommonDialog {
public:
    using DialogEvent = std::function<void(TQRCommonDialog&)>;

    TQRCommonDialog(const TQRCommonDialog&) = delete;
    TQRCommonDialog& operator=(const TQRCommonDialog&) = delete;
    virtual ~TQRCommonDialog() = default;

    // Shows the dialog and waits for it; true when the user confirmed it.
    virtual bool RunDialog() = 0;
    // True from the moment the dialog is on screen until it has gone.
    bool Showing() const { return showing_; }

    bool Ctl3D = true; // kept for the forms that set it; dialogs here look as the desktop says
    int HelpContext = 0;
    DialogEvent OnShow;
    DialogEvent OnClose;

protected:
    TQRCommonDialog() = default;
    void Shown();
    void Closed();

private:
    bool showing_ = false;
};

// A dialog that chooses a printer: it hands the target printer's names and device mode to the
// dialog, and selects on it what the user chose.
class TQRBasePrintDialog : public TQRCommonDialog {
public:
    // Not owned: the application-wide printer device, unless set to another.
    platform::PrinterDevice* TargetPrinter;

protected:
    // parent is the window the dialog belongs to; null for none.
    TQRBasePrintDialog(platform::PrinterDevice& printer, platform::DialogService& dialogs, QWidget* parent);

    // Puts the target printer's DEVNAMES block and device mode into block, and remembers the driver
    // and port names for TakeDeviceBlocks.
    void BuildDeviceBlocks(platform::PrintDialogBlock& block);
    // Selects on the target printer the device and device mode the dialog left in block.
    void TakeDeviceBlocks(const platform::PrintDialogBlock& block);
    // Runs the print dialog on block with the show and close notifications wired.
    bool Execute(platform::PrintDialogBlock& block);
    platform::PrinterDevice& Printer() const;

private:
    platform::DialogService& dialogs_;
    QWidget* parent_;
    QString driver_;
    QString port_;
};

// The print dialog: printer, page range or list, odd or even pages, order, copies and printing to a file.
class TQRPrintDialog : public TQRBasePrintDialog {
public:
    TQRPrintDialog(platform::PrinterDevice& printer, platform::DialogService& dialogs, QWidget* parent = nullptr);

    bool RunDialog() override;

    std::int32_t Copies() const { return copies_; }
    // Also sets the copies in the target printer's device mode.
    void SetCopies(std::int32_t copies);

    std::int32_t FromPage = 0;
    std::int32_t ToPage = 0;
    bool Collate = false;
    TPrintDialogOptions Options;
    bool PrintToFile = false;
    TPrintRange PrintRange = TPrintRange::prAllPages;
    std::int32_t MinPage = 0;
    std::int32_t MaxPage = 0;
    // The pages chosen with prPageNums: the dialog starts on them when there are several; after
    // it, the ranges chosen (one for a range from FromPage to ToPage), or none.
    std::vector<TPageRange> PageRanges;
    TPageSet PageSet = TPageSet::psAll;
    bool Reverse = false; // the last page first

private:
    std::uint32_t DialogFlags() const;

    std::int32_t copies_ = 0;
};

} // namespace tarvolo::printing
