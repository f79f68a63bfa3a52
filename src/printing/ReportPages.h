#pragma once

#include "PageSource.h"
#include "docstore/ReportDocument.h"

#include <atomic>
#include <memory>

namespace tarvolo::printing {

// The page source over one report document, which it shares with the report printer object. The
// printer object publishes the page count and the sheet as they change; readers on other threads
// see the last published values.
class ReportPages final : public PageSource {
public:
    explicit ReportPages(std::shared_ptr<docstore::ReportDocument> document = std::make_shared<docstore::ReportDocument>());

    int PageTotal() const override { return pageTotal_.load(); }
    std::unique_ptr<emf::Metafile> FetchPage(int n) override;
    std::int32_t SheetWidth() const override { return sheetWidth_.load(); }
    std::int32_t SheetLength() const override { return sheetLength_.load(); }

    void PublishPageTotal(int total) { pageTotal_ = total; }
    void PublishSheet(std::int32_t width, std::int32_t length);
    docstore::ReportDocument& Document() const { return *document_; }

private:
    const std::shared_ptr<docstore::ReportDocument> document_;
    std::atomic<int> pageTotal_{0};
    std::atomic<std::int32_t> sheetWidth_{0};
    std::atomic<std::int32_t> sheetLength_{0};
};

} // namespace tarvolo::printing
