#include "TQRPrinter.h"

#include "docstore/ReportFileFormat.h"
#include "render/EmfRecorder.h"
#include "metafile/LittleEndian.h"
#include "render/PainterCanvas.h"

#include <QCoreApplication>

#include <cmath>

namespace tarvolo::printing {

namespace {

constexpr std::int64_t kPageStreamSpillLimit = 100000;
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
        DeviceSettings.BindPrinter(DevicePrinter_.get());
        ProcessPendingEvents();
        if (applicationPrinter.PrinterIndex() < DevicePrinter_->Printers().size())
            DevicePrinter_->SetPrinterIndex(applicationPrinter.PrinterIndex());
    }
    UnprintableTop = DeviceSettings.PhysicalTop();
    UnprintableLeft = DeviceSettings.PhysicalLeft();
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
    PageMetafile.reset();
    printerCanvas_.reset();
    OutputCanvas_ = nullptr;
    if (PageStream_) {
        PageStream_.reset();
        Pages_.SetRecordStream(nullptr);
    }
    Pages_.Reset();
    State_ = PrinterState::Ready;
}

// --- Pages -----------------------------------------------------------------------------------

std::unique_ptr<emf::Metafile> TQRPrinter::FetchPage(int n)
{
    if (State_ == PrinterState::Ready || n < 1 || n > PageTotal_)
        return nullptr;
    return Pages_.ReadPage(n);
}

// A compressed report stores UncompressedLength where a plain one starts its EMF header.
bool TQRPrinter::FirstPageIsCompressed()
{
    docstore::ByteStream& stream = *Pages_.RecordStream();
    const docstore::HeaderRead header = docstore::ReadReportHeader(stream);
    if (!header.header.PagesCompressed)
        return false;
    std::uint8_t start[48] = {};
    stream.SetPosition(header.size + 8);
    const bool plain = stream.ReadBytes(start, sizeof start) == sizeof start && ReadU32LE(start) == emf::kEmrHeader &&
                       ReadU32LE(start + emf::kEmfSignatureOffset) == emf::kEmfSignature;
    stream.SetPosition(header.size);
    return !plain;
}

void TQRPrinter::ReadReportFile(const std::string& path)
{
    if (State_ != PrinterState::Ready)
        ClearReport();
    Pages_.OpenFile(path);
    // Pages stored compressed are read decoded; what new recordings do stays SetPageCompression's.
    Pages_.SetCompressPages(FirstPageIsCompressed());
    PageTotal_ = Pages_.RecordCount();
    ScaleX = ScaleY = kScreenScale;
    if (PageTotal_ > 0) {
        const std::unique_ptr<emf::Metafile> first = Pages_.ReadPage(1);
        if (const auto paper = InferPaper(first->Width(), first->Height())) {
            SetPaperSize(paper->first);
            SetOrientation(paper->second);
        }
    }
    PageStream_ = Pages_.RecordStream();
    State_ = PrinterState::Finished;
    ExportHandler = nullptr;
    PrintSetupHandler = nullptr;
    LoadedFromFile_ = true;
}

void TQRPrinter::WriteReportFile(const std::string& path)
{
    if (State_ == PrinterState::Finished)
        Pages_.CopyToFile(path);
}

void TQRPrinter::UseScreenScale()
{
    ScaleX = ScaleY = kScreenScale;
}

void TQRPrinter::BeginReport()
{
    PageMetafile.reset();
    PagesAvailable_ = 0;
    CancelRequested = false;
    if (Target == OutputTarget::ToPrinter)
        DeviceSettings.WriteToPrinter();
    UnprintableTop = TargetUnprintableTop();
    UnprintableLeft = TargetUnprintableLeft();
    if (State_ != PrinterState::Ready)
        throw EQRError("QRPrinter not ready");
    WritePageNumber = 0;
    PageTotal_ = 0;
    State_ = PrinterState::Busy;
    if (Target == OutputTarget::ToPageStore) {
        PageStream_ = docstore::TQRStream::CreateInMemory(kPageStreamSpillLimit);
        Pages_.SetRecordStream(PageStream_);
        Pages_.SetCompressPages(compressPages_);
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
        Pages_.AppendPage(*PageMetafile);
        PageMetafile.reset();
    } else if (PageInPrintRange()) {
        ClosePrinterPage();
    } else {
        CloseMetafilePage();
        PageMetafile.reset();
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
    ++PageTotal_;
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
            Pages_.AppendPage(*PageMetafile);
            PageMetafile.reset();
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
        Pages_.CompleteFile();
    else if (AfterPrintHook)
        AfterPrintHook(*this);
}

void TQRPrinter::AbortReport()
{
    if (Target == OutputTarget::ToPageStore) {
        if (recorder_) {
            CloseMetafilePage();
            Pages_.AppendPage(*PageMetafile);
            PageMetafile.reset();
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
    PageMetafile = recorder_->Finish();
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
    DeviceSettings.ReadFromPrinter();
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
    return Target == OutputTarget::ToPrinter ? DeviceSettings.PhysicalLeft() : 0;
}

std::int32_t TQRPrinter::TargetUnprintableTop() const
{
    return Target == OutputTarget::ToPrinter ? DeviceSettings.PhysicalTop() : 0;
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
    if (ExportHandler)
        ExportHandler(filter);
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
