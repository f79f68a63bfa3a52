#pragma once

#include "PageChoice.h"
#include "PageSource.h"
#include "ReportPages.h"
#include "TPrinterSettings.h"
#include "docstore/ReportDocument.h"
#include "render/ReportCanvas.h"
#include "platform/PrinterDevice.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace tarvolo::emf {
class EmfRecorder;
class PainterCanvas;
} // namespace tarvolo::emf

namespace tarvolo::printing {

// The report printer's own errors ("QRPrinter not ready", "Illegal call to NewPage").
class EQRError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class PrinterState : std::uint8_t { Ready, Busy, Finished };

// What the last PrintReport did: the pages it drew, whether a cancel stopped it (and then nothing
// was printed), and the job the spooler took.
struct TPrintOutcome {
    int PagesDrawn = 0;
    int LastPageDrawn = 0; // the report's number of the last page drawn
    bool Cancelled = false;
    platform::PrintJob Job; // number 0: no job reached the spooler
};
enum class OutputTarget : std::uint8_t { ToPageStore, ToPrinter };

using PrinterDeviceFactory = std::function<std::unique_ptr<platform::PrinterDevice>()>;

// The object that owns one report's pages and what is needed to put them on paper: a private
// printer device with its settings, the page list, the conversions from 0.1 mm to device pixels,
// the notifications to a preview, and loading, saving and recording whole reports. The report
// itself is kept by a report document, shared with its page source; this object adds paper,
// printing and the preview link, and lives on the window's thread.
class TQRPrinter : public PreviewSource {
public:
    // The screen that pages are recorded for and sized on: 96 pixels per inch.
    static constexpr long double kScreenPixelsPerInch = 96;

    // applicationPrinter is the application-wide printer object; makeDevice makes this object's own.
    TQRPrinter(platform::PrinterDevice& applicationPrinter, const PrinterDeviceFactory& makeDevice);
    ~TQRPrinter() override;
    TQRPrinter(const TQRPrinter&) = delete;
    TQRPrinter& operator=(const TQRPrinter&) = delete;

    // Lifetime and state.
    void ClearReport();
    void RequestCancel() { CancelRequested = true; }
    PrinterState State() const { return State_; }
    int PageTotal() const override { return PageTotal_; }
    int PagesAvailable() const override { return PagesAvailable_; }
    bool LoadedFromFile() const { return LoadedFromFile_; }
    bool HasPrinter() const { return HasPrinter_; }

    // Loading, saving and recording whole reports.
    void ReadReportFile(const std::string& path);
    void WriteReportFile(const std::string& path);
    void BeginReport();
    void StartNewPage();
    void EndReport();
    void AbortReport();
    emf::ReportCanvas* OutputCanvas() const { return OutputCanvas_; }

    // A new page holding page n, or nothing outside 1..PageTotal or while Ready. The caller owns it.
    std::unique_ptr<emf::Metafile> FetchPage(int n) override;
    // The report's pages for other threads; each report loaded or recorded has a source of its own.
    std::shared_ptr<PageSource> SharedPages() override;

    // Paper, orientation and copies, through the device settings' own rules.
    TPrinterOrientation Orientation() const { return DeviceSettings_.Orientation(); }
    void SetOrientation(TPrinterOrientation orientation);
    TQRPaperSize PaperSize() const { return DeviceSettings_.PaperSize(); }
    void SetPaperSize(TQRPaperSize size);
    std::int32_t NominalPaperWidth() const { return DeviceSettings_.NominalPaperWidth(); }
    std::int32_t NominalPaperLength() const { return DeviceSettings_.NominalPaperLength(); }
    void SetNominalPaperWidth(std::int32_t width);
    void SetNominalPaperLength(std::int32_t length);
    void SetOutputBin(TQRBin bin) { DeviceSettings_.SetOutputBin(bin); }
    void SetCopies(std::int32_t copies) { DeviceSettings_.SetCopies(copies); }
    std::int32_t SheetWidth() const override;
    std::int32_t SheetLength() const override;
    void SelectPrinter(int index);
    // Selects the queue of that name, or the system's default one for an empty name, with its
    // default settings. A queue that has gone stays selected by name: printing on it then says so.
    void SelectPrinterNamed(const QString& name);
    void SetPageCompression(bool on) { compressPages_ = on; }

    // 0.1 mm to device pixels, rounded half to even.
    std::int32_t ToDeviceX(long double x) const;
    std::int32_t ToDeviceY(long double y) const;
    std::int32_t ToDeviceWidth(long double w) const override;
    std::int32_t ToDeviceHeight(long double h) const override;
    std::int32_t TargetUnprintableLeft() const;
    std::int32_t TargetUnprintableTop() const;

    // Preview link and notifications.
    void SetPagesAvailable(int n);
    void SetProgressPercent(int percent);
    void SetPreviewShowing(bool showing);
    bool PreviewShowing() const { return PreviewShowing_; }
    void NotifyPreviewClosed();
    void AttachPreview(QObject* preview, std::function<void()> detach) override;
    void DetachPreview(QObject* preview) override;
    void RequestPrintSetup(QObject* sender);
    // Hands filter to the generator's export handler; without one, a filter that writes finished
    // pages (TQRExportFilter) writes this report when it is finished, and any other does nothing.
    void ExportReport(QObject* filter);

    // Prints pages FirstPage..LastPage of a finished report in one job titled DocumentTitle; 0 stands
    // for the first or the last page; PageChoice may narrow and order them. Pages outside the
    // report come out as empty sheets; a cancel request drops the job after the page on which it
    // is seen, and nothing is printed. Pages shaped like the report's own sheet go on sheets of the
    // orientation set; a page of the other shape goes on a sheet turned to its own shape.
    void PrintReport();
    const TPrintOutcome& LastPrint() const { return LastPrint_; }

    // Printing straight onto the device.
    bool PageInPrintRange() const;
    void OpenPrinterPage();
    void ClosePrinterPage();

    // Public fields of the object, as its users set and read them.
    OutputTarget Target = OutputTarget::ToPageStore;
    int FirstPage = 0;
    int LastPage = 0;
    TPageChoice PageChoice;
    QString DocumentTitle;
    bool CancelRequested = false;
    int ProgressPercent = 0;
    int WritePageNumber = 0;
    long double ScaleX = 1.0L;
    long double ScaleY = 1.0L;
    std::int32_t UnprintableLeft = 0;
    std::int32_t UnprintableTop = 0;
    QPointer<QObject> PreviewClient;
    QPointer<QObject> OwnerWindow;
    std::function<void()> PreviewDetach; // set by a preview so that it hears when this object goes
    std::function<void(TQRPrinter&)> AfterPrintHook;
    // Told by PrintReport before it draws each page: the how-manieth page of the range it is, and
    // how many pages the range holds.
    std::function<void(int done, int count)> PrintProgress;
    std::function<void(TQRPrinter&)> AfterPreviewHook;
    std::function<void(QObject*)> ExportHandler;
    std::function<void(QObject*)> PrintSetupHandler;

    platform::PrinterDevice& DevicePrinter() { return *DevicePrinter_; }
    TPrinterSettings& Settings() { return DeviceSettings_; }
    docstore::TQRPageList& Pages() { return Document().Pages(); }
    const std::shared_ptr<docstore::TQRStream>& PageStream() const { return Document().Stream(); }
    docstore::ReportDocument& Document() const { return pages_->Document(); }

private:
    void OpenMetafilePage();
    void CloseMetafilePage();
    void CloseOpenPage();
    void UseScreenScale();
    // Starts over with a new, empty document; readers of the old one keep it until they let go.
    void NewDocument();
    void SetPageTotal(int total);
    void PublishSheet();

    std::unique_ptr<platform::PrinterDevice> DevicePrinter_;
    TPrinterSettings DeviceSettings_;
    std::shared_ptr<ReportPages> pages_ = std::make_shared<ReportPages>();
    PrinterState State_ = PrinterState::Ready;
    int PageTotal_ = 0;
    int PagesAvailable_ = 0;
    bool HasPrinter_ = false;
    bool PreviewShowing_ = false;
    bool LoadedFromFile_ = false;
    bool compressPages_ = false;
    // The shape of the report's own sheet, from its first page or the sheet it was recorded on.
    bool reportLandscape_ = false;
    TPrintOutcome LastPrint_;

    // The page being recorded, and the metafile it became.
    std::unique_ptr<emf::EmfRecorder> recorder_;
    std::optional<emf::Metafile> PageMetafile_;
    std::unique_ptr<emf::PainterCanvas> printerCanvas_;
    emf::ReportCanvas* OutputCanvas_ = nullptr;
};

// The paper size and orientation a page of w x h screen pixels is printed on, matched by
// 4-millimetre buckets; nothing when no standard size matches.
std::optional<std::pair<TQRPaperSize, TPrinterOrientation>> InferPaper(int widthPixels, int heightPixels);

} // namespace tarvolo::printing
