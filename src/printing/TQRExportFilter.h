#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tarvolo::printing {

class PageSource;

// The name of the report file type in file dialogs.
inline constexpr const char* kReportFileText = "Report file";

// An export format that a finished report can be written in besides the report file. A filter
// object is made for one target file.
class TQRExportFilter : public QObject {
public:
    explicit TQRExportFilter(QString fileName) : fileName_(std::move(fileName)) {}
    const QString& FileName() const { return fileName_; }
    // Writes every page of the report to FileName(), replacing the file there only when the new
    // one is whole. Fails with a message.
    virtual void ExportPages(PageSource& pages, const QString& title) = 0;

private:
    QString fileName_;
};

// Makes an export filter object for a target file.
using TQRExportFilterClass = std::function<std::unique_ptr<QObject>(const QString& fileName)>;

struct TQRExportFilterEntry {
    TQRExportFilterClass FilterClass;
    QString Description;
    QString Extension; // without the dot
};

// The export formats offered by the save dialog, in the order they were registered.
class TQRExportFilterLibrary {
public:
    void AddFilter(TQRExportFilterEntry entry) { FilterEntries.push_back(std::move(entry)); }
    // "Report file(*.QRP)|*.QRP", then "|Description (*.ext)|*.ext" for each entry.
    QString SaveDialogFilter() const;

    std::vector<TQRExportFilterEntry> FilterEntries;
};

// The application's one registry, alive for the whole run of the program.
TQRExportFilterLibrary& ExportFilters();

// Writes the pages as a vector PDF, each page at its own size, text kept as text.
class TQRPdfExportFilter : public TQRExportFilter {
public:
    using TQRExportFilter::TQRExportFilter;
    void ExportPages(PageSource& pages, const QString& title) override;

    // The "PDF document" entry, for registering.
    static TQRExportFilterEntry Entry();
};

} // namespace tarvolo::printing
