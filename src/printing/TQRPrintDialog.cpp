#include "TQRPrintDialog.h"

#include "platform/DevNames.h"

#include <QScopeGuard>

#include <algorithm>
#include <stdexcept>

namespace tarvolo::printing {

using namespace platform;

namespace {

// A page number as the dialog block holds it: pages past its largest are its largest.
std::uint16_t PageWord(int page)
{
    return static_cast<std::uint16_t>(std::clamp(page, 0, 0xFFFF));
}

} // namespace

void TQRCommonDialog::Shown()
{
    showing_ = true;
    if (OnShow)
        OnShow(*this);
}

void TQRCommonDialog::Closed()
{
    showing_ = false;
    if (OnClose)
        OnClose(*this);
}

TQRBasePrintDialog::TQRBasePrintDialog(PrinterDevice& printer, DialogService& dialogs, QWidget* parent)
    : TargetPrinter(&printer), dialogs_(dialogs), parent_(parent)
{
}

PrinterDevice& TQRBasePrintDialog::Printer() const
{
    if (!TargetPrinter)
        throw std::runtime_error("There is no printer to set up");
    return *TargetPrinter;
}

void TQRBasePrintDialog::BuildDeviceBlocks(PrintDialogBlock& block)
{
    const DeviceNames names = Printer().Names();
    driver_ = names.driver;
    port_ = names.port;
    // Without a device there is no device mode either: the dialog starts on the default printer.
    if (names.device.isEmpty())
        return;
    block.hDevNames = MakeDevNames(names);
    block.hDevMode = Printer().GetDeviceMode();
}

// The driver and port stay those of the printer the dialog started on; only the device is read
// back, and it alone selects the printer.
void TQRBasePrintDialog::TakeDeviceBlocks(const PrintDialogBlock& block)
{
    const QString device = ReadDevNames(block.hDevNames).device;
    if (!device.isEmpty())
        Printer().SetDevice({device, driver_, port_}, block.hDevMode);
    else if (block.hDevMode)
        Printer().SetDevice(Printer().Names(), block.hDevMode);
}

bool TQRBasePrintDialog::Execute(PrintDialogBlock& block)
{
    block.shown = [this] { Shown(); };
    block.closed = [this] { Closed(); };
    const auto gone = qScopeGuard([this] {
        if (Showing())
            Closed();
    });
    return dialogs_.RunPrintDialog(parent_, block);
}

TQRPrintDialog::TQRPrintDialog(PrinterDevice& printer, DialogService& dialogs, QWidget* parent)
    : TQRBasePrintDialog(printer, dialogs, parent)
{
}

void TQRPrintDialog::SetCopies(std::int32_t copies)
{
    copies_ = copies;
    DeviceMode mode = Printer().GetDeviceMode();
    mode.dmCopies = static_cast<std::int16_t>(copies);
    mode.dmFields |= DM_COPIES;
    Printer().SetDevice(Printer().Names(), mode);
}

// PD_SHOWHELP reaches the dialog service, but help topics (HelpContext) are Windows help files:
// there is nothing to open for them here, and the Qt dialog shows no help button.
std::uint32_t TQRPrintDialog::DialogFlags() const
{
    std::uint32_t flags = PD_ENABLEPRINTHOOK | PD_ENABLESETUPHOOK;
    if (PrintRange == TPrintRange::prSelection)
        flags |= PD_SELECTION;
    else if (PrintRange == TPrintRange::prPageNums)
        flags |= PD_PAGENUMS;
    else if (PrintRange == TPrintRange::prCurrentPage)
        flags |= PD_CURRENTPAGE;
    if (Collate)
        flags |= PD_COLLATE;
    if (!Options.Contains(TPrintDialogOption::poPrintToFile))
        flags |= PD_HIDEPRINTTOFILE;
    if (!Options.Contains(TPrintDialogOption::poPageNums))
        flags |= PD_NOPAGENUMS;
    if (!Options.Contains(TPrintDialogOption::poSelection))
        flags |= PD_NOSELECTION;
    if (!Options.Contains(TPrintDialogOption::poCurrentPage))
        flags |= PD_NOCURRENTPAGE;
    if (Options.Contains(TPrintDialogOption::poDisablePrintToFile))
        flags |= PD_DISABLEPRINTTOFILE;
    if (PrintToFile)
        flags |= PD_PRINTTOFILE;
    if (Options.Contains(TPrintDialogOption::poHelp))
        flags |= PD_SHOWHELP;
    if (!Options.Contains(TPrintDialogOption::poWarning))
        flags |= PD_NOWARNING;
    return flags;
}

bool TQRPrintDialog::RunDialog()
{
    PrintDialogBlock block;
    BuildDeviceBlocks(block);
    block.Flags = DialogFlags();
    block.nFromPage = static_cast<std::uint16_t>(FromPage);
    block.nToPage = static_cast<std::uint16_t>(ToPage);
    block.nMinPage = static_cast<std::uint16_t>(MinPage);
    block.nMaxPage = static_cast<std::uint16_t>(MaxPage);
    // A single range is FromPage to ToPage already.
    if (PageRanges.size() > 1)
        for (const TPageRange& range : PageRanges)
            block.pageRanges.push_back({PageWord(range.First), PageWord(range.Last)});
    block.pageSet = PageSet == TPageSet::psOdd    ? PrintPageSet::Odd
                    : PageSet == TPageSet::psEven ? PrintPageSet::Even
                                                  : PrintPageSet::All;
    block.reverseOrder = Reverse;
    // nCopies stays 0: the dialog shows the copies of the device mode.
    if (!Execute(block))
        return false;

    TakeDeviceBlocks(block);
    Collate = (block.Flags & PD_COLLATE) != 0;
    PrintToFile = (block.Flags & PD_PRINTTOFILE) != 0;
    PrintRange = (block.Flags & PD_CURRENTPAGE) ? TPrintRange::prCurrentPage
                 : (block.Flags & PD_SELECTION) ? TPrintRange::prSelection
                 : (block.Flags & PD_PAGENUMS)  ? TPrintRange::prPageNums
                                                : TPrintRange::prAllPages;
    FromPage = block.nFromPage;
    ToPage = block.nToPage;
    PageRanges.clear();
    for (const PrintPageRange& range : block.pageRanges)
        PageRanges.push_back({range.nFromPage, range.nToPage});
    PageSet = block.pageSet == PrintPageSet::Odd    ? TPageSet::psOdd
              : block.pageSet == PrintPageSet::Even ? TPageSet::psEven
                                                    : TPageSet::psAll;
    Reverse = block.reverseOrder;
    // One copy back means the driver makes the copies: their count is in the device mode.
    if (block.nCopies == 1)
        copies_ = Printer().GetDeviceMode().dmCopies;
    else
        SetCopies(block.nCopies);
    return true;
}

} // namespace tarvolo::printing
