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

// What a preview needs of a report: how many pages it has and how many are ready, page n, and the
// sheet they are printed on in tenths of a millimetre with its conversion to screen pixels. The
// source posts PrinterMessageEvents (page available, progress) to the preview attached to it.
class PageSource {
public:
    virtual ~PageSource() = default;

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
