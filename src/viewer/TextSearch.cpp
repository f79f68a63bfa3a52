#include "TextSearch.h"

#include "render/PageRenderer.h"
#include "render/PageText.h"

#include <QChar>

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>

namespace tarvolo::viewer {

namespace {

// Pages searched at once, at most: more only wait for the page source's lock.
constexpr int kMaxWorkers = 4;

char32_t CodePointBefore(const QString& text, qsizetype end)
{
    const QChar last = text.at(end - 1);
    if (last.isLowSurrogate() && end >= 2 && text.at(end - 2).isHighSurrogate())
        return QChar::surrogateToUcs4(text.at(end - 2), last);
    return last.unicode();
}

char32_t CodePointAt(const QString& text, qsizetype at)
{
    const QChar first = text.at(at);
    if (first.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(first, text.at(at + 1));
    return first.unicode();
}

bool IsWordBoundary(const QString& text, qsizetype start, qsizetype end)
{
    if (start > 0 && QChar::isLetterOrNumber(CodePointBefore(text, start)))
        return false;
    return end >= text.size() || !QChar::isLetterOrNumber(CodePointAt(text, end));
}

} // namespace

// One search: what it looks for, and how far its pages have come. Step k is the k-th page in
// search order; with a text position given, one more step searches the start page's other part.
struct TextSearch::Run {
    quint64 generation = 0;
    int pageCount = 0;
    PageFetcher fetch;
    QString needle;
    bool matchCase = false;
    bool wholeWords = false;
    int fromPage = 1;
    bool backwards = false;
    qsizetype at = -1;
    int steps = 0;

    std::atomic<int> nextStep{0};
    std::atomic<int> firstHit{std::numeric_limits<int>::max()};

    std::mutex orderMutex; // guards the members below
    std::vector<bool> done;
    std::vector<std::optional<TextMatch>> hits;
    int prefix = 0; // steps before this one are done and found nothing
    bool ended = false;

    std::atomic<int> searched{0};
    std::atomic<bool> progressPosted{false};

    int PageAt(int step) const
    {
        const int k = step % pageCount;
        const int index = backwards ? fromPage - 1 - k : fromPage - 1 + k;
        return (index % pageCount + pageCount) % pageCount + 1;
    }

    // The first match of the step in search order.
    std::optional<TextMatch> HitIn(const QString& text, int step) const
    {
        const std::vector<TextMatch> matches = MatchesOnPage(text, PageAt(step), needle, matchCase, wholeWords);
        const bool firstPart = step == 0 && at >= 0;
        const bool lastPart = step == pageCount;
        const auto wanted = [&](const TextMatch& match) {
            if (!firstPart && !lastPart)
                return true;
            // Forwards the page is searched from `at` on first; backwards the part before `at` first.
            const bool afterAt = match.start >= at;
            return firstPart != backwards ? afterAt : !afterAt;
        };
        if (backwards) {
            const auto hit = std::find_if(matches.rbegin(), matches.rend(), wanted);
            return hit == matches.rend() ? std::nullopt : std::optional(*hit);
        }
        const auto hit = std::find_if(matches.begin(), matches.end(), wanted);
        return hit == matches.end() ? std::nullopt : std::optional(*hit);
    }
};

TextSearch::TextSearch(QObject* parent)
    : QObject(parent), work_(std::make_unique<preview::WorkQueue>(std::make_shared<preview::WorkService>())),
      texts_(kCachedPages)
{
}

void TextSearch::SetWorkService(std::shared_ptr<preview::WorkService> service)
{
    Cancel();
    work_ = std::make_unique<preview::WorkQueue>(std::move(service));
}

TextSearch::~TextSearch()
{
    Cancel();
}

void TextSearch::Start(int pageCount, PageFetcher fetch, QString needle, bool matchCase, bool wholeWords, int fromPage,
                       bool backwards, qsizetype at)
{
    Cancel();
    running_ = true;
    progressShown_ = 0;
    const quint64 generation = generation_;
    if (pageCount <= 0 || needle.isEmpty() || !fetch) {
        Deliver(generation, [this] {
            running_ = false;
            emit finished(false);
        });
        return;
    }

    auto run = std::make_shared<Run>();
    run->generation = generation;
    run->pageCount = pageCount;
    run->fetch = std::move(fetch);
    run->needle = std::move(needle);
    run->matchCase = matchCase;
    run->wholeWords = wholeWords;
    run->fromPage = std::clamp(fromPage, 1, pageCount);
    run->backwards = backwards;
    run->at = at;
    run->steps = pageCount + (at >= 0 ? 1 : 0);
    run->done.assign(run->steps, false);
    run->hits.assign(run->steps, std::nullopt);
    run_ = run;

    const int workers = std::min({work_->Service()->ThreadCount(), kMaxWorkers, run->steps});
    const std::uint64_t workGeneration = work_->Generation();
    for (int i = 0; i < workers; ++i)
        PostStep(run, workGeneration);
}

void TextSearch::PostStep(const std::shared_ptr<Run>& run, std::uint64_t generation)
{
    work_->PostIn(generation, preview::WorkService::Search, [this, run, generation] {
        if (SearchNextPage(*run))
            PostStep(run, generation);
    });
}

void TextSearch::Cancel()
{
    ++generation_;
    running_ = false;
    work_->Cancel(); // waits for the pages being searched
    run_.reset();
}

void TextSearch::ForgetPages()
{
    std::lock_guard lock(textsMutex_);
    texts_.clear();
}

bool TextSearch::SearchNextPage(Run& run)
{
    const int step = run.nextStep.fetch_add(1);
    if (step >= run.steps || step > run.firstHit.load())
        return false;
    const QString text = TextOf(run.PageAt(step), run);
    Record(run, step, run.HitIn(text, step));
    return true;
}

QString TextSearch::TextOf(int page, Run& run)
{
    {
        std::lock_guard lock(textsMutex_);
        if (const QString* text = texts_.object(page))
            return *text;
    }
    try {
        const std::unique_ptr<emf::Metafile> metafile = run.fetch(page);
        if (!metafile)
            return {};
        QString text = emf::PageText(*metafile, emf::PageRenderer::SizeAtDpi(*metafile, 96)).Text();
        std::lock_guard lock(textsMutex_);
        texts_.insert(page, new QString(text), 1 + static_cast<int>(text.size() / kCachedPageCharacters));
        return text;
    } catch (const std::exception&) {
        // A damaged page has no text to find; showing it reports the damage.
        return {};
    }
}

void TextSearch::Record(Run& run, int step, const std::optional<TextMatch>& hit)
{
    std::lock_guard lock(run.orderMutex);
    if (run.ended)
        return;
    run.done[step] = true;
    run.hits[step] = hit;
    if (hit) {
        int first = run.firstHit.load();
        while (step < first && !run.firstHit.compare_exchange_weak(first, step)) {
        }
    }
    // Results count only in search order: a later page's match waits for the pages before it.
    while (run.prefix < run.steps && run.done[run.prefix]) {
        if (const std::optional<TextMatch>& match = run.hits[run.prefix]) {
            run.ended = true;
            Deliver(run.generation, [this, generation = run.generation, match = *match] {
                running_ = false;
                emit found(match);
                if (generation == generation_) // a receiver of found may have started another search
                    emit finished(true);
            });
            return;
        }
        ++run.prefix;
    }
    if (run.prefix == run.steps) {
        run.ended = true;
        Deliver(run.generation, [this, pageCount = run.pageCount] {
            running_ = false;
            ReportProgress(pageCount, pageCount);
            emit finished(false);
        });
        return;
    }
    run.searched = std::min(run.prefix, run.pageCount);
    // One progress report waits in the queue at a time and tells the latest count.
    if (!run.progressPosted.exchange(true)) {
        Deliver(run.generation, [this] {
            run_->progressPosted = false;
            ReportProgress(run_->searched, run_->pageCount);
        });
    }
}

void TextSearch::Deliver(quint64 generation, std::function<void()> deliver)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation, deliver = std::move(deliver)] {
            if (generation == generation_)
                deliver();
        },
        Qt::QueuedConnection);
}

void TextSearch::ReportProgress(int pagesSearched, int pageCount)
{
    if (pagesSearched <= progressShown_)
        return;
    progressShown_ = pagesSearched;
    emit progress(pagesSearched, pageCount);
}

std::vector<TextMatch> TextSearch::MatchesOnPage(const QString& pageText, int page, const QString& needle, bool matchCase,
                                                 bool wholeWords)
{
    std::vector<TextMatch> matches;
    if (needle.isEmpty())
        return matches;
    const Qt::CaseSensitivity sensitivity = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    qsizetype from = 0;
    for (qsizetype start; (start = pageText.indexOf(needle, from, sensitivity)) >= 0;) {
        const qsizetype end = start + needle.size();
        if (wholeWords && !IsWordBoundary(pageText, start, end)) {
            from = start + 1;
            continue;
        }
        matches.push_back({page, start, needle.size()});
        from = end;
    }
    return matches;
}

preview::PageMarks TextSearch::MarksFor(const emf::PageText& text, QSize measuredAt, const std::vector<TextMatch>& matches,
                                        const std::optional<TextMatch>& current)
{
    preview::PageMarks marks;
    if (measuredAt.isEmpty())
        return marks;
    const double width = measuredAt.width(), height = measuredAt.height();
    const auto mark = [&](QList<QRectF>& list, const TextMatch& match) {
        for (const QRectF& box : text.BoxesOf(match.start, match.length))
            list.append(QRectF(box.x() / width, box.y() / height, box.width() / width, box.height() / height));
    };
    for (const TextMatch& match : matches) {
        if (match != current)
            mark(marks.found, match);
    }
    if (current)
        mark(marks.current, *current);
    return marks;
}

} // namespace tarvolo::viewer
