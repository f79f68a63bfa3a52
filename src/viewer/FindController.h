#pragma once

#include "TextSearch.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QLabel;
class QToolBar;

namespace tarvolo::printing {
class PageSource;
}
namespace tarvolo::preview {
class TQRPreview;
}

namespace tarvolo::viewer {

class FindBar;

// Finding text in the viewer's report: the find bar's requests become searches over the report's
// pages, the match found is shown on its page, marked with the other matches there, and the
// progress goes to the status bar. It owns the search, so that closing the window or opening
// another report stops the search before anything it reads goes away.
class FindController : public QObject {
    Q_OBJECT

public:
    // The bar sits in toolBar (shown and hidden with it); progress is a status bar label.
    FindController(FindBar* bar, QToolBar* toolBar, QLabel* progress, preview::TQRPreview* preview, QObject* parent);
    ~FindController() override;

    // The report searched from now on; any running search is cancelled and the page texts kept
    // are forgotten. Nothing: no report.
    void SetReport(std::shared_ptr<printing::PageSource> pages);
    void SetWorkService(std::shared_ptr<preview::WorkService> service);
    // Stops a running search; nothing more is delivered.
    void Cancel();

    void Show();
    void Close();
    // The matches on the page shown marked, the current one stronger and in view; the window
    // calls it whenever the page shown changes.
    void ShowMatches();

    // A word is being looked for: its matches are marked on every page shown.
    bool Active() const { return !needle_.isEmpty(); }
    FindBar* Bar() const { return bar_; }
    TextSearch* Search() const { return search_; }

signals:
    // The match found lies on another page than the one shown.
    void pageWanted(int page);

private:
    void Find(const QString& needle, bool matchCase, bool wholeWords, bool backwards);
    void Found(const TextMatch& match);
    void Finished(bool anyFound);

    FindBar* bar_;
    QToolBar* toolBar_;
    QLabel* progress_;
    preview::TQRPreview* preview_;
    TextSearch* search_;
    std::shared_ptr<printing::PageSource> pages_;
    QString needle_; // what the matches shown are matches of; empty while the find bar is closed
    bool matchCase_ = false, wholeWords_ = false;
    std::optional<TextMatch> currentMatch_;
};

} // namespace tarvolo::viewer
