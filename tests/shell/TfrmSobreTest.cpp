// The About window: the version text, its links and the keys that close it.

#include "doubles/TestDesktopLinks.h"
#include "platform/ExecutableVersion.h"
#include "shell/StandardWindows.h"
#include "shell/TfrmSobre.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace tarvolo::platform;
using namespace tarvolo::shell;

TEST(ExecutableVersionTest, TheSecondNumberHasTwoDigitsAndAPrivateBuildAStar)
{
    struct Case {
        ExecutableVersion version;
        const char* text;
    };
    const Case cases[] = {
        {ExecutableVersion::Make(1, 5, 2, 300, false), "1.05.2.300"},
        {ExecutableVersion::Make(2, 10, 0, 7, true), "2.10.0.7*"},
        {ExecutableVersion::Make(3, 123, 4, 5, false), "3.123.4.5"},
        {ExecutableVersion::Make(0, 0, 0, 0, false), "0.00.0.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.version.Text(), c.text);
    // The flag is read as stored, whatever else the flags hold.
    ExecutableVersion flagged = ExecutableVersion::Make(1, 5, 2, 300, false);
    flagged.dwFileFlags = 0x3F;
    EXPECT_EQ(flagged.Text(), "1.05.2.300*");
}

TEST(TfrmSobreTest, ShowsTheSystemAndTheRunningVersion)
{
    TestDesktopLinks links;
    TfrmSobre about(nullptr, true, links);
    about.Create();
    EXPECT_EQ(about.windowTitle(), "Sobre");
    EXPECT_EQ(about.lblSistema->text(), "Kestan Tarvolo");
    EXPECT_EQ(about.lblVersao->text(), ExecutableVersion::Running().Text());
#ifdef NDEBUG
    EXPECT_FALSE(about.lblVersao->text().endsWith('*'));
#else
    EXPECT_TRUE(about.lblVersao->text().endsWith('*')) << "a build that is not a release build";
#endif
}

TEST(TfrmSobreTest, EachEmailLabelMailsItsOwnAddress)
{
    TestDesktopLinks links;
    TfrmSobre about(nullptr, true, links);
    about.Create();
    about.show();
    for (QLabel* label : {about.lblEmail1, about.lblEmail2})
        QTest::mouseClick(label, Qt::LeftButton);
    QTest::mouseClick(about.lblHttp, Qt::LeftButton);
    ASSERT_EQ(links.opened.size(), 3u);
    EXPECT_EQ(links.opened[0], QUrl("mailto:" + about.lblEmail1->text()));
    EXPECT_EQ(links.opened[1], QUrl("mailto:" + about.lblEmail2->text()));
    EXPECT_EQ(links.opened[2], QUrl(about.lblHttp->text()));
    links.answer = false; // a link that cannot be opened says nothing
    QTest::mouseClick(about.lblHttp, Qt::LeftButton);
    EXPECT_TRUE(about.isVisible());
}

TEST(TfrmSobreTest, CtrlSpaceConfirmsAndEscCancels)
{
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int result;
    };
    for (const Case c : {Case{Qt::Key_Space, Qt::ControlModifier, mrOk}, Case{Qt::Key_Escape, Qt::NoModifier, mrCancel}}) {
        TestDesktopLinks links;
        TfrmSobre about(nullptr, true, links);
        about.Create();
        QTimer::singleShot(50, &about, [&] {
            QWidget* focused = about.focusWidget();
            QTest::keyClick(focused ? focused : &about, c.key, c.modifiers);
        });
        QTimer::singleShot(3000, &about, [&] { about.done(mrNone); }); // never hang the suite
        EXPECT_EQ(about.exec(), c.result);
    }
}
