// The commands that need only report and page files: info, unpack, pack, verify, and demo, which
// records a new report.

#include "Commands.h"

#include "docstore/ReportDocument.h"
#include "docstore/ReportFileFormat.h"
#include "docstore/ReportVerifier.h"
#include "docstore/TQRStream.h"
#include "platform/NoPrinterDevice.h"
#include "printing/TQRPrinter.h"
#include "SampleReport.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace tarvolo::qrptool {

using docstore::ReportDocument;

namespace {

const char* PaperName(printing::TQRPaperSize size)
{
    static const char* const names[] = {"Default", "Letter", "LetterSmall", "Tabloid", "Ledger", "Legal", "Statement",
                                        "Executive", "A3", "A4", "A4Small", "A5", "B4", "B5", "Folio", "Quarto",
                                        "qr10X14", "qr11X17", "Note", "Env9", "Env10", "Env11", "Env12", "Env14",
                                        "CSheet", "DSheet", "ESheet", "Custom"};
    return names[static_cast<int>(size)];
}

} // namespace

int Info(Arguments args)
{
    ReportDocument report;
    report.Open(args[0]);
    const docstore::HeaderRead header = report.Header();
    const auto createdAt = docstore::OleDateToIso8601(header.header.CreatedAt);
    // Paper and orientation as loading the report infers them from page 1, starting from A4 portrait.
    auto paper = printing::TQRPaperSize::A4;
    auto orientation = printing::TPrinterOrientation::poPortrait;
    if (report.PageCount() > 0) {
        const auto first = report.Page(1);
        if (const auto inferred = printing::InferPaper(first->Width(), first->Height())) {
            paper = inferred->first;
            orientation = inferred->second;
        }
    }
    const bool landscape = orientation == printing::TPrinterOrientation::poLandscape;
    const std::int32_t width = printing::TableWidth(paper), length = printing::TableLength(paper);
    std::printf("{\"pages\": %d, \"header_size\": %lld, \"compressed\": %s, \"created_at\": %s, \"file_size\": %lld, "
                "\"paper_size\": \"%s\", \"orientation\": \"%s\", \"sheet_width\": %d, \"sheet_length\": %d}\n",
                report.PageCount(), static_cast<long long>(header.size), report.PagesCompressed() ? "true" : "false",
                createdAt ? ("\"" + *createdAt + "\"").c_str() : "null", static_cast<long long>(report.Size()), PaperName(paper),
                landscape ? "poLandscape" : "poPortrait", landscape ? length : width, landscape ? width : length);
    return 0;
}

int Unpack(Arguments args)
{
    ReportDocument report;
    report.Open(args[0]);
    const std::filesystem::path folder(args[1]);
    std::filesystem::create_directories(folder);
    for (int n = 1; n <= report.PageCount(); ++n) {
        const auto page = report.Page(n);
        char name[32];
        std::snprintf(name, sizeof name, "page-%04d.emf", n);
        WriteWholeFile((folder / name).string(), page->Bytes());
    }
    std::printf("%d pages written to %s\n", report.PageCount(), folder.string().c_str());
    return 0;
}

int Pack(Arguments args)
{
    bool compressed = false;
    for (const std::string& arg : args.subspan(1)) {
        if (arg == "--compressed")
            compressed = true;
        else if (arg.starts_with("--"))
            throw UsageError();
    }
    ReportDocument report;
    report.CreateNew(compressed);
    for (const std::string& arg : args.subspan(1)) {
        if (arg.starts_with("--"))
            continue;
        try {
            report.AppendPage(emf::Metafile(ReadWholeFile(arg)));
        } catch (const emf::EInvalidGraphic& error) {
            throw std::runtime_error(arg + ": " + error.what());
        }
    }
    report.Complete();
    report.SaveCopy(args[0]);
    std::printf("%d pages written to %s\n", report.PageCount(), args[0].c_str());
    return 0;
}

int Verify(Arguments args)
{
    const auto stream = docstore::TQRStream::OpenOnFile(args[0]);
    docstore::ReportVerifier verifier(*stream);
    const auto problems = verifier.Verify();
    for (const auto& problem : problems)
        std::printf("offset %lld: %s\n", static_cast<long long>(problem.offset), problem.message.c_str());
    if (!problems.empty())
        throw std::runtime_error(args[0] + " is not a sound report: " + std::to_string(problems.size()) +
                                 (problems.size() == 1 ? " problem" : " problems") +
                                 (problems.size() >= docstore::ReportVerifier::kMostProblems ? " or more" : ""));
    std::printf("%s is a sound report\n", args[0].c_str());
    return 0;
}

int Demo(Arguments args)
{
    int pages = 3;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--pages" && i + 1 < args.size())
            pages = std::stoi(args[++i]);
        else if (!args[i].starts_with("-") && output.empty())
            output = args[i];
        else
            throw UsageError();
    }
    if (output.empty() || pages < 1 || pages > 10000)
        throw UsageError();
    // No installed printer may change the sample: it is recorded for A4 on the screen.
    platform::NoPrinterDevice noPrinter;
    printing::TQRPrinter printer(noPrinter, [] { return std::make_unique<platform::NoPrinterDevice>(); });
    printer.DocumentTitle = "Relatório de vendas";
    tools::RecordSampleReport(printer, pages);
    printer.WriteReportFile(output);
    std::printf("%d pages written to %s\n", printer.PageTotal(), output.c_str());
    return 0;
}

} // namespace tarvolo::qrptool
