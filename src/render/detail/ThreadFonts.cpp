#include "render/detail/ThreadFonts.h"

#include "render/detail/FontMapper.h"
#include "render/detail/GlyphImages.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <utility>

namespace tarvolo::emf {

struct ThreadFontCaches {
    FontMapper mapper;
    GlyphImages glyphs;
};

namespace {

// A plain pointer: nothing destroys it, so it can still be read while the thread ends, after its
// other thread-local objects are gone.
thread_local ThreadFontCaches* caches = nullptr;

struct ThreadEnd {
    ThreadEnd() = default;
    ThreadEnd(const ThreadEnd&) = delete;
    ThreadEnd& operator=(const ThreadEnd&) = delete;
    ~ThreadEnd() { ReleaseThreadFonts(); }
};

// Arranges for the calling thread's new caches to go before Qt lets go of what they hold.
void WatchThread()
{
    [[maybe_unused]] thread_local ThreadEnd end;
    QCoreApplication* application = QCoreApplication::instance();
    QThread* thread = QThread::currentThread();
    if (application && thread == application->thread()) {
        // Post routines run as the application object begins to go, on this thread.
        qRemovePostRoutine(&ReleaseThreadFonts);
        qAddPostRoutine(&ReleaseThreadFonts);
    } else if (application) {
        // Emitted in the finishing thread itself, before its Qt thread data goes. The application
        // holds the connection: a thread Qt adopted would otherwise keep its own data alive.
        QObject::connect(thread, &QThread::finished, application, &ReleaseThreadFonts, Qt::DirectConnection);
    }
}

ThreadFontCaches& Caches()
{
    if (!caches) {
        auto made = std::make_unique<ThreadFontCaches>();
        WatchThread();
        caches = made.release();
    }
    return *caches;
}

} // namespace

FontMapper& ThreadFontMapper()
{
    return Caches().mapper;
}

GlyphImages& ThreadGlyphImages()
{
    return Caches().glyphs;
}

void ReleaseThreadFonts()
{
    delete std::exchange(caches, nullptr);
}

} // namespace tarvolo::emf
