// The player's process-wide and per-thread state against the application's lifetime. These run
// without the suites' usual entry point: each test makes and destroys its own application. No
// test here may decode a bitmap before the one about messages, which must see the decoder's
// message handler installed.

#include "render/EmfRecorder.h"
#include "render/PageRenderer.h"
#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace tarvolo;
using namespace tarvolo::emf;

namespace {

// An application of its own, on Qt's offscreen platform.
class Application {
public:
    Application()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }

private:
    int argc_ = 1;
    char name_[16] = "render_lifetime";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> application_;
};

// Text small enough for Qt's glyph cache and large enough for the player's glyph images.
QImage DrawText()
{
    EmfRecorder recorder(400, 200);
    recorder.font.face = "Arial";
    recorder.font.height = -14;
    recorder.TextOut(10, 10, "Small text on the page");
    recorder.font.face = "Times New Roman";
    recorder.font.height = -60;
    recorder.TextOut(10, 60, "Large");
    const Metafile page = recorder.Finish();
    return PageRenderer::RenderImage(page, QSize(800, 400), nullptr, PageRenderer::Cores::One);
}

int InkedPixels(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            inked += image.pixel(x, y) != qRgb(255, 255, 255);
    return inked;
}

std::mutex recordedMutex;
std::vector<QString> recorded;

void Record(QtMsgType, const QMessageLogContext&, const QString& message)
{
    const std::lock_guard lock(recordedMutex);
    recorded.push_back(message);
}

} // namespace

// Font caches hold Qt's font engines: those of the application's thread go with the application,
// those of a thread that ends while the application lives with the thread. Kept past the
// application, a later one draws with engines of the font database that went with the first.
TEST(ApplicationLifetime, ASecondApplicationDrawsTextAsTheFirstDid)
{
    QImage first, onThread, second;
    {
        const Application application;
        first = DrawText();
        QThread* thread = QThread::create([&onThread] { onThread = DrawText(); });
        thread->start();
        thread->wait();
        delete thread;
        std::thread([] { DrawText(); }).join();
    }
    {
        const Application application;
        second = DrawText();
    }
    EXPECT_GT(InkedPixels(first), 1000) << "the text is drawn";
    EXPECT_TRUE(onThread == first) << "a worker thread draws as the application's thread does";
    EXPECT_TRUE(second == first);
}

// The bitmap decoder keeps back the image readers' messages of the thread that decodes, and hands
// every other message on to the handler there was before, from the first message on, whichever
// thread installs it and whichever threads send messages meanwhile.
TEST(ApplicationLifetime, MessagesOfOtherThreadsPassOnWhileBitmapsDecode)
{
    const Application application;
    const Metafile damaged(test::ReadFileBytes(std::filesystem::path(TARVOLO_FIXTURE_DIR) / "pictures" / "DamagedEmbeddedPng.emf"));
    const QtMessageHandler before = qInstallMessageHandler(&Record);
    constexpr int kSenders = 2, kMessagesEach = 2000;
    std::atomic<bool> start = false;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            while (!start)
                std::this_thread::yield();
            for (int i = 0; i < 3; ++i)
                PageRenderer::RenderImage(damaged, QSize(605, 454), nullptr, PageRenderer::Cores::One);
        });
    for (int t = 0; t < kSenders; ++t)
        threads.emplace_back([&start, t] {
            while (!start)
                std::this_thread::yield();
            for (int i = 0; i < kMessagesEach; ++i)
                qInfo("mark %d %d", t, i);
        });
    start = true;
    for (std::thread& thread : threads)
        thread.join();
    qInstallMessageHandler(before);

    const std::lock_guard lock(recordedMutex);
    EXPECT_EQ(recorded.size(), std::size_t{kSenders * kMessagesEach}) << (recorded.empty() ? QString() : recorded.front()).toStdString();
    std::vector<std::vector<int>> seen(kSenders, std::vector<int>(kMessagesEach, 0));
    for (const QString& message : recorded) {
        const QStringList parts = message.split(' ');
        ASSERT_EQ(parts.size(), 3) << message.toStdString();
        ASSERT_EQ(parts[0], "mark") << message.toStdString();
        ++seen[parts[1].toInt()][parts[2].toInt()];
    }
    for (int t = 0; t < kSenders; ++t)
        for (int i = 0; i < kMessagesEach; ++i)
            EXPECT_EQ(seen[t][i], 1) << "mark " << t << " " << i;
}
