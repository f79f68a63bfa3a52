#pragma once

#include "metafile/Metafile.h"

#include <QEvent>

#include <cstdint>
#include <functional>
#include <memory>

class QObject;

namespace tarvolo::printing {

// Message numbers of the notifications, relative to the platform's WM_USER (1024).
enum : int { MSG_PROGRESS_UPDATE = 1024, MSG_PAGE_AVAILABLE = 1025, MSG_PRINT_REQUEST = 1026, MSG_PREVIEW_CLOSED = 1028 };

// A notification from a report printer object, posted to its preview client or sent to its owner.
class PrinterMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    PrinterMessageEvent(int message, int wParam, const void* lParam = nullptr)
        : QEvent(EventType()), Message(message), WParam(wParam), LParam(lParam)
    {
    }
    const int Message;
    const int WParam;
    const void* const LParam;
};

// The pages of one report, for readers on any thread: every member may be called from several
// threads at once. Readers keep the source by shared pointer, so the report stays open until
// the last of them lets go, even when its window or printer object has gone.
class PageSource {
public:
    virtual ~PageSource() = default;

    virtual int PageTotal() const = 0;
    // A new page holding page n, or nothing outside 1..PageTotal; the caller owns it. Fails,
    // naming the page, when the report's bytes do not lead to it.
    virtual std::unique_ptr<emf::Metafile> FetchPage(int n) = 0;
    // The sheet the pages are printed on, in tenths of a millimetre.
    virtual std::int32_t SheetWidth() const = 0;
    virtual std::int32_t SheetLength() const = 0;
};

// What a preview needs of a report printer object, on the window's thread: how many pages the
// report has and how many are ready, page n, and the sheet they are printed on in tenths of a
// millimetre with its conversion to screen pixels; for its worker threads, the page source. The
// object posts PrinterMessageEvents (page available, progress) to the preview attached to it.
class PreviewSource {
public:
    virtual ~PreviewSource() = default;

    // The pages as they are now; a report loaded later comes with a new source.
    virtual std::shared_ptr<PageSource> SharedPages() = 0;
    virtual int PageTotal() const = 0;
    virtual int PagesAvailable() const = 0;
    // A new page holding page n, or nothing; the caller owns it.
    virtual std::unique_ptr<emf::Metafile> FetchPage(int n) = 0;

    virtual std::int32_t SheetWidth() const = 0;
    virtual std::int32_t SheetLength() const = 0;
    virtual std::int32_t ToDeviceWidth(long double w) const = 0;
    virtual std::int32_t ToDeviceHeight(long double h) const = 0;

    // Makes preview the one that hears of this source; detach is called when the source goes away
    // while the preview is still attached.
    virtual void AttachPreview(QObject* preview, std::function<void()> detach) = 0;
    // Forgets preview, if it is the attached one.
    virtual void DetachPreview(QObject* preview) = 0;
};

} // namespace tarvolo::printing
