#include "TQRPrinter.h"

#include "TQRExportFilter.h"

#include "render/EmfPlayer.h"
#include "render/EmfRecorder.h"
#include "render/PainterCanvas.h"

#include <QCoreApplication>

#include <cmath>

namespace tarvolo::printing {

namespace {

constexpr long double kScreenScale = TQRPrinter::kScreenPixelsPerInch / 254.0L;

} // namespace

QEvent::Type PrinterMessageEvent::EventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

std::optional<std::pair<TQRPaperSize, TPrinterOrientation>> InferPaper(int widthPixels, int heightPixels)
{
    const auto w = static_cast<std::int64_t>(std::trunc(widthPixels / kScreenScale / 40));
    const auto h = static_cast<std::int64_t>(std::trunc(heightPixels / kScreenScale / 40));
    std::optional<std::pair<TQRPaperSize, TPrinterOrientation>> match;
    // Rows 1 to 26; every match takes effect, so the last one wins.
    for (int row = 1; row <= 26; ++row) {
        const auto size = static_cast<TQRPaperSize>(row);
        const std::int64_t widthBucket = static_cast<std::int64_t>(PaperRow(size).widthMm) / 4;
        const std::int64_t lengthBucket = static_cast<std::int64_t>(PaperRow(size).lengthMm) / 4;
        if (widthBucket == w && lengthBucket == h)
            match = {size, TPrinterOrientation::poPortrait};
        if (widthBucket == h && lengthBucket == w)
            match = {size, TPrinterOrientation::poLandscape};
    }
    return match;
}

TQRPrinter::TQRPrinter(platform::PrinterDevice& applicationPrinter, const PrinterDeviceFactory& makeDevice)
{
    HasPrinter_ = !applicationPrinter.Printers().isEmpty();
    DevicePrinter_ = makeDevice();
    if (HasPrinter_) {
        DeviceSettings_.BindPrinter(DevicePrinter_.get());
        ProcessPendingEvents();
        if (applicationPrinter.PrinterIndex() < DevicePrinter_->Printers().size())
            DevicePrinter_->SetPrinterIndex(applicationPrinter.PrinterIndex());
    }
    UnprintableTop = DeviceSettings_.PhysicalTop();
    UnprintableLeft = DeviceSettings_.PhysicalLeft();
    PublishSheet();
}

TQRPrinter::~TQRPrinter()
{
    if (State_ != PrinterState::Ready)
        ClearReport();
    if (PreviewDetach)
        PreviewDetach();
}

void TQRPrinter::ClearReport()
{
    if (State_ == PrinterState::Busy)
        RequestCancel();
    recorder_.reset();
    PageMetafile_.reset();
    printerCanvas_.reset();
    OutputCanvas_ = nullptr;
    NewDocument();
    State_ = PrinterState::Ready;
}

void TQRPrinter::NewDocument()
{
    pages_ = std::make_shared<ReportPages>();
    PublishSheet();
}

void TQRPrinter::SetPageTotal(int total)
{
    PageTotal_ = total;
    pages_->PublishPageTotal(total);
}

void TQRPrinter::PublishSheet()
{
    pages_->PublishSheet(SheetWidth(), SheetLength());
}

void TQRPrinter::SetOrientation(TPrinterOrientation orientation)
{
    DeviceSettings_.SetOrientation(orientation);
    PublishSheet();
}

void TQRPrinter::SetPaperSize(TQRPaperSize size)
{
    DeviceSettings_.SetPaperSize(size);
    PublishSheet();
}

void TQRPrinter::SetNominalPaperWidth(std::int32_t width)
{
    DeviceSettings_.SetNominalPaperWidth(width);
    PublishSheet();
}

void TQRPrinter::SetNominalPaperLength(std::int32_t length)
{
    DeviceSettings_.SetNominalPaperLength(length);
    PublishSheet();
}

// --- Pages -----------------------------------------------------------------------------------

std::unique_ptr<emf::Metafile> TQRPrinter::FetchPage(int n)
{
    if (State_ == PrinterState::Ready || n < 1 || n > PageTotal_)
        return nullptr;
    return Document().Page(n);
}

std::shared_ptr<PageSource> TQRPrinter::SharedPages()
{
    // The settings may have been changed through Settings() since the sheet was last published.
    PublishSheet();
    return pages_;
}

void TQRPrinter::ReadReportFile(const std::string& path)
{
    if (State_ != PrinterState::Ready)
        ClearReport();
    // A load that fails leaves no pages behind: nothing may be read from, or recorded after, a
    // report that did not open.
    try {
        NewDocument();
        Document().Open(path);
        SetPageTotal(Document().PageCount());
        ScaleX = ScaleY = kScreenScale;
        reportLandscape_ = false;
        if (PageTotal_ > 0) {
            const std::unique_ptr<emf::Metafile> first = Document().Page(1);
            const emf::EmfRect& frame = first->Header().rclFrame;
            reportLandscape_ = static_cast<std::int64_t>(frame.right) - frame.left > static_cast<std::int64_t>(frame.bottom) - frame.top;
            if (const auto paper = InferPaper(first->Width(), first->Height())) {
                SetPaperSize(paper->first);
                SetOrientation(paper->second);
            }
        }
    } catch (...) {
        NewDocument();
        SetPageTotal(0);
        throw;
    }
    State_ = PrinterState::Finished;
    ExportHandler = nullptr;
    PrintSetupHandler = nullptr;
    LoadedFromFile_ = true;
}

void TQRPrinter::WriteReportFile(const std::string& path)
{
    if (State_ == PrinterState::Finished)
        Document().SaveCopy(path);
}

void TQRPrinter::UseScreenScale()
{
    ScaleX = ScaleY = kScreenScale;
}

void TQRPrinter::BeginReport()
{
    PageMetafile_.reset();
    PagesAvailable_ = 0;
    CancelRequested = false;
    if (Target == OutputTarget::ToPrinter)
        DeviceSettings_.WriteToPrinter();
    UnprintableTop = TargetUnprintableTop();
    UnprintableLeft = TargetUnprintableLeft();
    if (State_ != PrinterState::Ready)
        throw EQRError("QRPrinter not ready");
    WritePageNumber = 0;
    SetPageTotal(0);
    State_ = PrinterState::Busy;
    if (Target == OutputTarget::ToPageStore) {
        NewDocument();
        Document().CreateNew(compressPages_);
        reportLandscape_ = SheetWidth() > SheetLength();
        UseScreenScale();
    } else {
        const platform::DeviceCapabilities caps = DevicePrinter_->Capabilities();
        ScaleX = caps.logPixelsX / 254.0L;
        ScaleY = caps.logPixelsY / 254.0L;
    }
}

// Closes the page being written: into the page store, onto the printer, or into nothing when
// it lies outside the print range.
void TQRPrinter::CloseOpenPage()
{
    if (Target == OutputTarget::ToPageStore) {
        CloseMetafilePage();
        Document().AppendPage(*PageMetafile_);
        PageMetafile_.reset();
    } else if (PageInPrintRange()) {
        ClosePrinterPage();
    } else {
        CloseMetafilePage();
        PageMetafile_.reset();
    }
}

void TQRPrinter::StartNewPage()
{
    if (State_ != PrinterState::Busy)
        throw EQRError("Illegal call to NewPage");
    if (WritePageNumber > 0) {
        CloseOpenPage();
        SetPagesAvailable(PagesAvailable_ + 1);
    }
    SetPageTotal(PageTotal_ + 1);
    ++WritePageNumber;
    if (Target == OutputTarget::ToPrinter && PageInPrintRange())
        OpenPrinterPage();
    else
        OpenMetafilePage();
}

void TQRPrinter::EndReport()
{
    if (State_ != PrinterState::Busy)
        return;
    if (Target == OutputTarget::ToPageStore) {
        if (PageTotal_ > 0) {
            CloseMetafilePage();
            Document().AppendPage(*PageMetafile_);
            PageMetafile_.reset();
        }
    } else if (DevicePrinter_->Printing()) {
        DevicePrinter_->EndDoc();
        printerCanvas_.reset();
        OutputCanvas_ = nullptr;
    }
    State_ = PrinterState::Finished;
    ProcessPendingEvents();
    SetPagesAvailable(PagesAvailable_ + 1);
    if (Target == OutputTarget::ToPageStore)
        Document().Complete();
    else if (AfterPrintHook)
        AfterPrintHook(*this);
}

void TQRPrinter::AbortReport()
{
    if (Target == OutputTarget::ToPageStore) {
        if (recorder_) {
            CloseMetafilePage();
            Document().AppendPage(*PageMetafile_);
            PageMetafile_.reset();
        }
    } else {
        DevicePrinter_->Abort();
        printerCanvas_.reset();
        OutputCanvas_ = nullptr;
    }
    State_ = PrinterState::Finished;
}

void TQRPrinter::OpenMetafilePage()
{
    recorder_ = std::make_unique<emf::EmfRecorder>(ToDeviceWidth(SheetWidth()), ToDeviceHeight(SheetLength()));
    OutputCanvas_ = recorder_.get();
    UseScreenScale();
}

void TQRPrinter::CloseMetafilePage()
{
    if (!recorder_)
        return;
    PageMetafile_ = recorder_->Finish();
    recorder_.reset();
    OutputCanvas_ = nullptr;
}

// --- Paper and conversions -------------------------------------------------------------------

std::int32_t TQRPrinter::SheetWidth() const
{
    return Orientation() == TPrinterOrientation::poPortrait ? NominalPaperWidth() : NominalPaperLength();
}

std::int32_t TQRPrinter::SheetLength() const
{
    return Orientation() == TPrinterOrientation::poPortrait ? NominalPaperLength() : NominalPaperWidth();
}

void TQRPrinter::SelectPrinter(int index)
{
    if (!HasPrinter_)
        return;
    DevicePrinter_->SetPrinterIndex(index);
    TPrinterSettings::ReloadDeviceDefaults(*DevicePrinter_);
    DeviceSettings_.ReadFromPrinter();
}

void TQRPrinter::SelectPrinterNamed(const QString& name)
{
    if (name.isEmpty()) {
        SelectPrinter(-1);
        return;
    }
    if (!HasPrinter_)
        return;
    DevicePrinter_->SetDevice({name, {}, {}}, std::nullopt);
    DeviceSettings_.ReadFromPrinter();
}

std::int32_t TQRPrinter::ToDeviceX(long double x) const
{
    return RoundHalfEven((x - UnprintableLeft) * ScaleX);
}

std::int32_t TQRPrinter::ToDeviceY(long double y) const
{
    return RoundHalfEven((y - UnprintableTop) * ScaleY);
}

std::int32_t TQRPrinter::ToDeviceWidth(long double w) const
{
    return RoundHalfEven(w * ScaleX);
}

std::int32_t TQRPrinter::ToDeviceHeight(long double h) const
{
    return RoundHalfEven(h * ScaleY);
}

std::int32_t TQRPrinter::TargetUnprintableLeft() const
{
    return Target == OutputTarget::ToPrinter ? DeviceSettings_.PhysicalLeft() : 0;
}

std::int32_t TQRPrinter::TargetUnprintableTop() const
{
    return Target == OutputTarget::ToPrinter ? DeviceSettings_.PhysicalTop() : 0;
}

// --- Notifications ---------------------------------------------------------------------------

void TQRPrinter::SetPagesAvailable(int n)
{
    PagesAvailable_ = n;
    if (PreviewClient)
        QCoreApplication::postEvent(PreviewClient, new PrinterMessageEvent(MSG_PAGE_AVAILABLE, n));
}

void TQRPrinter::SetProgressPercent(int percent)
{
    ProgressPercent = percent;
    if (PreviewClient)
        QCoreApplication::postEvent(PreviewClient, new PrinterMessageEvent(MSG_PROGRESS_UPDATE, percent));
}

void TQRPrinter::SetPreviewShowing(bool showing)
{
    struct AssignAtEnd {
        bool& flag;
        bool value;
        ~AssignAtEnd() { flag = value; }
    } assign{PreviewShowing_, showing};
    if (PreviewShowing_ && !showing) {
        if (State_ == PrinterState::Busy)
            RequestCancel();
        if (AfterPreviewHook)
            AfterPreviewHook(*this);
    }
}

void TQRPrinter::AttachPreview(QObject* preview, std::function<void()> detach)
{
    PreviewClient = preview;
    PreviewDetach = std::move(detach);
    SetPreviewShowing(true);
}

void TQRPrinter::DetachPreview(QObject* preview)
{
    if (!preview || PreviewClient != preview)
        return;
    SetPreviewShowing(false);
    PreviewClient = nullptr;
    PreviewDetach = nullptr;
}

void TQRPrinter::NotifyPreviewClosed()
{
    if (OwnerWindow) {
        PrinterMessageEvent event(MSG_PREVIEW_CLOSED, 0, this);
        QCoreApplication::sendEvent(OwnerWindow, &event);
    }
}

void TQRPrinter::RequestPrintSetup(QObject* sender)
{
    if (PrintSetupHandler)
        PrintSetupHandler(sender);
}

void TQRPrinter::ExportReport(QObject* filter)
{
    if (ExportHandler) {
        ExportHandler(filter);
        return;
    }
    // Without the generator's handler, a filter that works on finished pages can still write them.
    if (auto* pageFilter = dynamic_cast<TQRExportFilter*>(filter); pageFilter && State_ == PrinterState::Finished)
        pageFilter->ExportPages(*SharedPages(), DocumentTitle);
}

// --- Printing a finished report -------------------------------------------------------------

namespace {

// A page shaped like the report's own sheet goes on a sheet of the job's orientation, the one the
// user chose; a page of the other shape (a landscape page in a portrait report) goes on a sheet
// turned to its own shape rather than being squeezed onto the job's.
bool TurnsSheet(const emf::Metafile* page, bool reportLandscape, const platform::DeviceCapabilities& jobSheet)
{
    if (!page)
        return false;
    const emf::EmfRect& frame = page->Header().rclFrame;
    const std::int64_t width = static_cast<std::int64_t>(frame.right) - frame.left;
    const std::int64_t height = static_cast<std::int64_t>(frame.bottom) - frame.top;
    if (width == height || jobSheet.physicalWidth == jobSheet.physicalHeight)
        return false;
    const bool pageLandscape = width > height;
    if (pageLandscape == reportLandscape)
        return false;
    return pageLandscape != (jobSheet.physicalWidth > jobSheet.physicalHeight);
}

} // namespace

void TQRPrinter::PrintReport()
{
    LastPrint_ = {};
    if (OwnerWindow && !LoadedFromFile_) {
        QCoreApplication::postEvent(OwnerWindow, new PrinterMessageEvent(MSG_PRINT_REQUEST, 0));
        return;
    }
    if (State_ != PrinterState::Finished || !HasPrinter_)
        return;
    platform::PrinterDevice& device = *DevicePrinter_;
    try {
        device.SetTitle(DocumentTitle);
        if (device.Printing())
            device.Abort();
        DeviceSettings_.WriteToPrinter();
        const platform::DeviceCapabilities jobSheet = device.Capabilities();
        device.TurnNextPage(false);
        const int first = FirstPage == 0 ? 1 : FirstPage;
        const int last = LastPage == 0 ? PageTotal_ : LastPage;
        const std::vector<int> pages = PagesToPrint(PageChoice, first, last);
        if (pages.empty())
            device.BeginDoc();
        const int count = static_cast<int>(pages.size());
        for (int k = 0; k < count; ++k) {
            const int i = pages[static_cast<std::size_t>(k)];
            ProcessPendingEvents();
            if (PrintProgress)
                PrintProgress(k + 1, count);
            const std::unique_ptr<emf::Metafile> page = FetchPage(i);
            // Each page begins once its own orientation is known.
            device.TurnNextPage(TurnsSheet(page.get(), reportLandscape_, jobSheet));
            if (k == 0)
                device.BeginDoc();
            else
                device.NewPage();
            if (page) {
                const platform::DeviceCapabilities sheet = device.Capabilities();
                emf::EmfPlayer::Play(*page, *device.Canvas(), QRectF(0, 0, sheet.horzRes, sheet.vertRes));
            }
            ++LastPrint_.PagesDrawn;
            LastPrint_.LastPageDrawn = i;
            if (CancelRequested) {
                device.Abort();
                LastPrint_.Cancelled = true;
                break;
            }
        }
    } catch (...) {
        if (device.Printing()) {
            try {
                device.EndDoc();
            } catch (...) {
                // The first error is the one the caller hears of.
            }
        }
        throw;
    }
    if (device.Printing()) {
        device.EndDoc();
        LastPrint_.Job = device.LastJob();
    }
}

// --- Printing straight onto the device -------------------------------------------------------

bool TQRPrinter::PageInPrintRange() const
{
    return (FirstPage <= 0 || FirstPage <= PageTotal_) && (LastPage <= 0 || LastPage >= PageTotal_);
}

void TQRPrinter::OpenPrinterPage()
{
    if (!DevicePrinter_->Printing()) {
        DevicePrinter_->SetTitle(DocumentTitle);
        DevicePrinter_->BeginDoc();
    }
    printerCanvas_ = std::make_unique<emf::PainterCanvas>(*DevicePrinter_->Canvas());
    OutputCanvas_ = printerCanvas_.get();
    const platform::DeviceCapabilities caps = DevicePrinter_->Capabilities();
    ScaleX = caps.logPixelsX / 254.0L;
    ScaleY = caps.logPixelsY / 254.0L;
}

void TQRPrinter::ClosePrinterPage()
{
    if (DevicePrinter_->Printing() && PageTotal_ != LastPage)
        DevicePrinter_->NewPage();
}

} // namespace tarvolo::printing
