#include "FindController.h"

#include "FindBar.h"
#include "preview/TQRPreview.h"
#include "printing/PageSource.h"

#include <QLabel>
#include <QToolBar>

namespace tarvolo::viewer {

FindController::FindController(FindBar* bar, QToolBar* toolBar, QLabel* progress, preview::TQRPreview* preview, QObject* parent)
    : QObject(parent), bar_(bar), toolBar_(toolBar), progress_(progress), preview_(preview), search_(new TextSearch(this))
{
    connect(bar_, &FindBar::findRequested, this, &FindController::Find);
    connect(bar_, &FindBar::cancelRequested, this, [this] {
        search_->Cancel();
        Finished(false);
        bar_->SetStatus("Procura interrompida");
    });
    connect(bar_, &FindBar::closed, this, &FindController::Close);
    connect(search_, &TextSearch::progress, this,
            [this](int done, int total) { progress_->setText(QString("Procurando: página %1 de %2").arg(done).arg(total)); });
    connect(search_, &TextSearch::found, this, &FindController::Found);
    connect(search_, &TextSearch::finished, this, &FindController::Finished);
}

FindController::~FindController()
{
    search_->Cancel();
}

void FindController::SetReport(std::shared_ptr<printing::PageSource> pages)
{
    search_->Cancel();
    search_->ForgetPages();
    currentMatch_.reset();
    pages_ = std::move(pages);
}

void FindController::SetWorkService(std::shared_ptr<preview::WorkService> service)
{
    search_->SetWorkService(std::move(service));
}

void FindController::Cancel()
{
    search_->Cancel();
    bar_->SetSearching(false);
    progress_->clear();
}

void FindController::Show()
{
    toolBar_->show();
    bar_->Activate();
}

void FindController::Find(const QString& needle, bool matchCase, bool wholeWords, bool backwards)
{
    const int total = pages_ ? pages_->PageTotal() : 0;
    if (total == 0 || needle.isEmpty())
        return;
    const bool again = needle == needle_ && matchCase == matchCase_ && wholeWords == wholeWords_;
    needle_ = needle;
    matchCase_ = matchCase;
    wholeWords_ = wholeWords;
    const int page = preview_->PageNumber();
    // Next and previous step past the match on screen.
    qsizetype at = -1;
    if (again && currentMatch_ && currentMatch_->page == page)
        at = backwards ? currentMatch_->start : currentMatch_->start + 1;
    bar_->SetSearching(true);
    bar_->SetStatus(QString());
    // The search holds the pages it reads, whatever happens to the window's printer object.
    search_->Start(total, [pages = pages_](int n) { return pages->FetchPage(n); }, needle, matchCase, wholeWords, page,
                   backwards, at);
}

void FindController::Found(const TextMatch& match)
{
    currentMatch_ = match;
    if (match.page != preview_->PageNumber())
        emit pageWanted(match.page); // the page change shows the matches
    else
        ShowMatches();
}

void FindController::Finished(bool anyFound)
{
    bar_->SetSearching(false);
    progress_->clear();
    if (!anyFound) {
        currentMatch_.reset();
        ShowMatches();
        bar_->SetStatus("Não encontrado");
    }
}

void FindController::Close()
{
    Cancel();
    needle_.clear();
    currentMatch_.reset();
    ShowMatches();
    toolBar_->hide();
    preview_->setFocus();
}

void FindController::ShowMatches()
{
    preview::TQRPreviewImage* page = preview_->PageView();
    preview::PageMarks marks;
    marks.selected = page->Marks().selected;
    if (!needle_.isEmpty() && page->HasPage()) {
        const emf::PageText& text = page->ShownPageText();
        const int number = preview_->PageNumber();
        const std::vector<TextMatch> matches = TextSearch::MatchesOnPage(text.Text(), number, needle_, matchCase_, wholeWords_);
        const std::optional<TextMatch> current =
            currentMatch_ && currentMatch_->page == number ? currentMatch_ : std::optional<TextMatch>();
        const preview::PageMarks found = TextSearch::MarksFor(text, page->TextPageSize(), matches, current);
        marks.found = found.found;
        marks.current = found.current;
        bar_->SetStatus(matches.size() == 1 ? QString("1 ocorrência nesta página")
                                            : QString("%1 ocorrências nesta página").arg(matches.size()));
    }
    page->SetMarks(marks);
    if (!marks.current.isEmpty()) {
        const QRectF share = marks.current.front();
        const QPointF centre = page->pos() + QPointF(share.center().x() * page->width(), share.center().y() * page->height());
        preview_->ensureVisible(static_cast<int>(centre.x()), static_cast<int>(centre.y()), 100, 100);
    }
}

} // namespace tarvolo::viewer
