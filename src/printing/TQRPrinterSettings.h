#pragma once

#include "BinTable.h"
#include "PageChoice.h"
#include "PaperSizeTable.h"

#include <QString>

#include <cstdint>

namespace tarvolo::printing {

// A user's print choices, kept by the viewer for as long as its window lives.
struct TQRPrinterSettings {
    std::int32_t Copies = 1;
    bool Duplex = false;
    TPrinterOrientation Orientation = TPrinterOrientation::poPortrait;
    TQRBin OutputBin = TQRBin::Auto;
    TQRPaperSize PaperSize = TQRPaperSize::Letter;
    std::int32_t SelectedPrinter = -1; // the system's default printer
    // The printer chosen, kept by name so that queues added or removed before it in the list do
    // not change it; empty for the system's default. SelectedPrinter is derived from it.
    QString PrinterName;
    QString DocumentTitle;
    std::int32_t FirstPage = 0; // from the first page
    std::int32_t LastPage = 0;  // to the last page
    TPageChoice PageChoice;      // a page list, odd or even pages, the order
    bool CurrentPage = false;    // the page shown when printing starts, instead of the range
};

// The settings a report streams: copies, duplex, range and bin.
struct TQRReportPrinterSettings : TQRPrinterSettings {};

// A composite report also streams its orientation and paper size.
struct TQRCompositePrinterSettings : TQRReportPrinterSettings {};

} // namespace tarvolo::printing
