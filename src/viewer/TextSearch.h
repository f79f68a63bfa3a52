#pragma once

#include "metafile/Metafile.h"
#include "preview/TQRPreviewImage.h"
#include "preview/WorkService.h"

#include <QCache>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tarvolo::emf {
class PageText;
}

namespace tarvolo::viewer {

// Where a needle was found: UTF-16 units start..start+length of the page's text (emf::PageText).
struct TextMatch {
    int page = 0;
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const TextMatch&) const = default;
};

// Page n (1..count) of the report being searched; called from worker threads, several at once. It
// holds what it reads from (a page source) for as long as the search may call it.
using PageFetcher = std::function<std::unique_ptr<emf::Metafile>(int page)>;

// Finds text in a report's pages on worker threads, so that a search of thousands of pages leaves
// the window responsive. Each page is one job of the lowest priority on the window's work
// service, so pages on screen are drawn between two pages searched. Texts of pages already read
// are kept, so the next search is quick. Results arrive on the thread the object lives in; a
// search cancelled or replaced delivers nothing more.
class TextSearch : public QObject {
    Q_OBJECT

public:
    // Page texts kept between searches: this many pages of up to kCachedPageCharacters each; a
    // longer text counts as several pages, so that hostile pages cannot fill the memory.
    static constexpr int kCachedPages = 2000;
    static constexpr qsizetype kCachedPageCharacters = 4096;

    explicit TextSearch(QObject* parent = nullptr);
    ~TextSearch() override;

    // Runs the search on service (the window's) instead of a service of its own; cancels first.
    void SetWorkService(std::shared_ptr<preview::WorkService> service);

    // Searches pageCount pages from fromPage on in the given direction, wrapping round once, and
    // stops at the first match. With `at` given, fromPage is searched from that text position on
    // (backwards: before it) and its other part comes last, so that "next" steps past a match
    // the window shows. Any running search is cancelled first.
    void Start(int pageCount, PageFetcher fetch, QString needle, bool matchCase, bool wholeWords, int fromPage,
               bool backwards, qsizetype at = -1);
    // Stops the search and waits for its threads (at most one page each); the fetcher is not
    // called once this returns, and nothing more is delivered.
    void Cancel();
    bool IsRunning() const { return running_; }
    // Drops the page texts kept: the window calls it when it loads another report.
    void ForgetPages();

    // The matches of needle in one page's text, in order and not overlapping. Whole words: not
    // preceded or followed by a letter or digit. Lines are joined by '\n', so a needle with a
    // space does not match across a line break.
    static std::vector<TextMatch> MatchesOnPage(const QString& pageText, int page, const QString& needle, bool matchCase,
                                                bool wholeWords);
    // The marks the page view draws for matches on the page whose text was measured at
    // measuredAt pixels: current among "current", the others among "found".
    static preview::PageMarks MarksFor(const emf::PageText& text, QSize measuredAt, const std::vector<TextMatch>& matches,
                                       const std::optional<TextMatch>& current);

signals:
    void progress(int pagesSearched, int pageCount);
    void found(tarvolo::viewer::TextMatch first);
    void finished(bool anyFound);

private:
    struct Run;

    // Searches the run's next page and goes on with the one after, as a job of its own.
    void PostStep(const std::shared_ptr<Run>& run, std::uint64_t generation);
    bool SearchNextPage(Run& run);
    QString TextOf(int page, Run& run);
    void Record(Run& run, int step, const std::optional<TextMatch>& hit);
    void Deliver(quint64 generation, std::function<void()> deliver);
    void ReportProgress(int pagesSearched, int pageCount);

    std::unique_ptr<preview::WorkQueue> work_;
    std::shared_ptr<Run> run_;
    quint64 generation_ = 0;
    bool running_ = false;
    int progressShown_ = 0;

    std::mutex textsMutex_;
    QCache<int, QString> texts_;
};

} // namespace tarvolo::viewer
