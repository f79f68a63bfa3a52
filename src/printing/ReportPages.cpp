#include "ReportPages.h"

#include <utility>

namespace tarvolo::printing {

ReportPages::ReportPages(std::shared_ptr<docstore::ReportDocument> document) : document_(std::move(document))
{
}

std::unique_ptr<emf::Metafile> ReportPages::FetchPage(int n)
{
    if (n < 1 || n > pageTotal_.load())
        return nullptr;
    return document_->Page(n);
}

void ReportPages::PublishSheet(std::int32_t width, std::int32_t length)
{
    sheetWidth_ = width;
    sheetLength_ = length;
}

} // namespace tarvolo::printing
