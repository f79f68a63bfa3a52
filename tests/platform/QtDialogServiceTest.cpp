// Qt's file and print dialogs behind the dialog service, driven as a user would from timers while
// they run. A watchdog rejects any dialog left open, so that a failing test cannot hang the suite.

#include "platform/DevNames.h"
#include "platform/QtDialogService.h"

#include <QApplication>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <functional>

using namespace tarvolo::platform;

namespace {

// Acts on a dialog once it is open, as a user would; and rejects every modal dialog still open
// after a few seconds, for as long as it lives.
class DialogDriver {
public:
    DialogDriver()
    {
        QObject::connect(&watchdog_, &QTimer::timeout, [this] {
            fired_ = true;
            for (int left = 10; left > 0; --left)
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    dialog->reject();
        });
        watchdog_.start(5000);
    }

    // Runs act on the first modal dialog of type T to be open; replaces any act not run yet.
    template <typename T>
    void WhenOpen(std::function<void(T&)> act)
    {
        QObject::disconnect(&poll_, &QTimer::timeout, nullptr, nullptr);
        QObject::connect(&poll_, &QTimer::timeout, [this, act] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                poll_.stop();
                act(*dialog);
            }
        });
        poll_.start(10);
    }

    bool WatchdogFired() const { return fired_; }

private:
    QTimer poll_;
    QTimer watchdog_;
    bool fired_ = false;
};

QPushButton* AcceptButton(QDialog& dialog)
{
    const auto* buttons = dialog.findChild<QDialogButtonBox*>();
    for (QAbstractButton* button : buttons ? buttons->buttons() : QList<QAbstractButton*>())
        if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole)
            return qobject_cast<QPushButton*>(button);
    return nullptr;
}

QPoint ExpectedPlace(const QWidget& dialog)
{
    const QRect area = dialog.screen()->availableGeometry();
    return area.topLeft() + DialogPlacement(area.size(), dialog.frameGeometry().size());
}

const QString kSaveFilter = "Report file(*.QRP)|*.QRP|PDF document (*.pdf)|*.pdf";

} // namespace

TEST(DialogPlacementTest, CentresAcrossAndPutsAThirdOfTheRoomAbove)
{
    struct Case {
        QSize screen;
        QSize window;
        QPoint place;
    };
    for (const Case& c : {Case{{1024, 768}, {600, 400}, {212, 122}},
                          Case{{800, 600}, {800, 600}, {0, 0}},
                          Case{{800, 600}, {1001, 700}, {-100, -33}}}) {
        SCOPED_TRACE(c.window.width());
        EXPECT_EQ(DialogPlacement(c.screen, c.window), c.place);
    }
}

TEST(QtNameFiltersTest, PairsBecomeQtFiltersMatchingEitherCase)
{
    struct Case {
        QString filter;
        QStringList qt;
    };
    for (const Case& c : {
             Case{kSaveFilter, {"Report file (*.QRP *.qrp)", "PDF document (*.PDF *.pdf)"}},
             Case{"Desc|*.EXT|Desc2|*.ext2", {"Desc (*.EXT *.ext)", "Desc2 (*.EXT2 *.ext2)"}},
             Case{"Pictures|*.jpg;*.Png", {"Pictures (*.JPG *.jpg *.PNG *.png *.Png)"}},
             Case{"All files (*.*)|*.*", {"All files (*.*)"}},
             Case{"Reports|*.QRP|Incomplete", {"Reports (*.QRP *.qrp)"}},
             Case{"", {}},
         }) {
        SCOPED_TRACE(c.filter.toStdString());
        EXPECT_EQ(QtNameFilters(c.filter), c.qt);
    }
}

class QtFileDialogTest : public ::testing::Test {
protected:
    // Types name in the dialog's file name box, selects the filter counted from 1 and confirms.
    void Choose(const QString& name, int filter)
    {
        driver.WhenOpen<QFileDialog>([this, name, filter](QFileDialog& dialog) {
            title = dialog.windowTitle();
            saving = dialog.acceptMode() == QFileDialog::AcceptSave;
            place = dialog.pos();
            expectedPlace = ExpectedPlace(dialog);
            dialog.selectNameFilter(dialog.nameFilters().value(filter - 1));
            auto* edit = dialog.findChild<QLineEdit*>("fileNameEdit");
            QPushButton* accept = AcceptButton(dialog);
            if (!edit || !accept) {
                ADD_FAILURE() << "the file dialog has no file name box or no accept button";
                dialog.reject();
                return;
            }
            edit->setText(folder.filePath(name));
            accept->click();
        });
    }

    QtDialogService service;
    DialogDriver driver;
    QTemporaryDir folder;
    QString title;
    bool saving = false;
    QPoint place;
    QPoint expectedPlace{-1, -1};
};

TEST_F(QtFileDialogTest, SaveAddsTheSelectedFiltersExtensionInLowerCase)
{
    struct Case {
        QString filter;
        QString defaultExtension;
        QString typed;
        int filterIndex;
        QString saved;
    };
    for (const Case& c : {Case{kSaveFilter, "QRP", "relatorio", 2, "relatorio.pdf"},
                          Case{kSaveFilter, "QRP", "relatorio", 1, "relatorio.qrp"},
                          Case{kSaveFilter, "QRP", "relatorio.QRP", 1, "relatorio.QRP"},
                          Case{"All files (*.*)|*.*", "QRP", "relatorio", 1, "relatorio.qrp"}}) {
        SCOPED_TRACE((c.typed + " " + QString::number(c.filterIndex)).toStdString());
        Choose(c.typed, c.filterIndex);
        const auto answer = service.GetSaveFileName(nullptr, {"Salvar Relatório", c.filter, c.defaultExtension});
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->fileName, folder.filePath(c.saved));
        EXPECT_EQ(answer->filterIndex, c.filterIndex);
        EXPECT_EQ(title, "Salvar Relatório");
        EXPECT_TRUE(saving);
        EXPECT_EQ(place, expectedPlace);
    }
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtFileDialogTest, OpenReturnsTheNameAsTypedEvenOfAMissingFile)
{
    Choose("ausente", 1);
    const auto answer = service.GetOpenFileName(nullptr, {"Carregar Relatório", "Relatório (*.QRP)|*.QRP", QString()});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->fileName, folder.filePath("ausente"));
    EXPECT_EQ(answer->filterIndex, 1);
    EXPECT_FALSE(saving);
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtFileDialogTest, CancelGivesNothing)
{
    driver.WhenOpen<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(service.GetSaveFileName(nullptr, {"Salvar Relatório", kSaveFilter, "QRP"}));
    EXPECT_FALSE(driver.WatchdogFired());
}

class QtPrintDialogTest : public ::testing::Test {
protected:
    // Without printers the dialog still runs, offering only a file; the queue is then empty.
    void SetUp() override
    {
        queue = qEnvironmentVariable("TARVOLO_CUPS_QUEUE", QPrinterInfo::availablePrinterNames().value(0));
        block.hDevNames = MakeDevNames({queue, "driver", queue});
        block.shown = [this] { seen.push_back("shown"); };
        block.closed = [this] { seen.push_back("closed"); };
    }

    QtDialogService service;
    DialogDriver driver;
    QString queue;
    PrintDialogBlock block;
    std::vector<std::string> seen;
};

TEST_F(QtPrintDialogTest, OpensPlacedAndSaysWhenShownAndClosed)
{
    QPoint place;
    QPoint expectedPlace{-1, -1};
    std::vector<std::string> seenWhileOpen;
    driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
        place = dialog.pos();
        expectedPlace = ExpectedPlace(dialog);
        seenWhileOpen = seen;
        dialog.accept();
    });
    block.Flags = PD_NOSELECTION | PD_HIDEPRINTTOFILE;
    ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
    EXPECT_EQ(place, expectedPlace);
    EXPECT_EQ(seenWhileOpen, (std::vector<std::string>{"shown"}));
    EXPECT_EQ(seen, (std::vector<std::string>{"shown", "closed"}));
    EXPECT_EQ(block.nCopies, 1);
    EXPECT_TRUE(block.hDevMode);
    EXPECT_EQ(block.Flags & (PD_PAGENUMS | PD_SELECTION | PD_PRINTTOFILE), 0U);
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtPrintDialogTest, StartsOnTheBlocksPrinterAndNamesTheOneConfirmed)
{
    if (queue.isEmpty())
        GTEST_SKIP() << "no printers installed";
    QString printerName;
    driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
        printerName = dialog.printer()->printerName();
        dialog.accept();
    });
    block.Flags = PD_NOSELECTION | PD_HIDEPRINTTOFILE;
    ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
    EXPECT_EQ(printerName, queue);
    EXPECT_EQ(ReadDevNames(block.hDevNames).device, queue);
    EXPECT_EQ(ReadDevNames(block.hDevNames).port, queue);
}

TEST_F(QtPrintDialogTest, PagesCopiesAndCollationGoInAndComeBack)
{
    DeviceMode mode;
    mode.dmFields = DM_COPIES | DM_ORIENTATION;
    mode.dmCopies = 3;
    mode.dmOrientation = DMORIENT_LANDSCAPE;
    block.hDevMode = mode;
    block.Flags = PD_PAGENUMS | PD_COLLATE | PD_NOSELECTION | PD_HIDEPRINTTOFILE;
    block.nMinPage = 1;
    block.nMaxPage = 5;
    block.nFromPage = 2;
    block.nToPage = 3;
    int from = 0, to = 0, copies = 0;
    bool collate = false;
    driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
        from = dialog.fromPage();
        to = dialog.toPage();
        copies = dialog.printer()->copyCount();
        collate = dialog.printer()->collateCopies();
        dialog.accept();
    });
    ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
    EXPECT_EQ((std::array{from, to, copies}), (std::array{2, 3, 3}));
    EXPECT_TRUE(collate);
    EXPECT_EQ(block.Flags & (PD_PAGENUMS | PD_COLLATE), PD_PAGENUMS | PD_COLLATE);
    EXPECT_EQ(block.nFromPage, 2);
    EXPECT_EQ(block.nToPage, 3);
    EXPECT_EQ(block.nCopies, 1);
    EXPECT_EQ(block.hDevMode->dmCopies, 3);
    EXPECT_EQ(block.hDevMode->dmOrientation, DMORIENT_LANDSCAPE);
}

TEST_F(QtPrintDialogTest, PrintToFileStartsOnAFileAndKeepsThePrinterBlock)
{
    QTemporaryDir folder;
    bool startedOnFile = false;
    QString startFile;
    driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
        startedOnFile = dialog.printer()->outputFormat() == QPrinter::PdfFormat;
        if (auto* file = dialog.findChild<QLineEdit*>("filename")) {
            startFile = file->text();
            file->setText(folder.filePath("relatorio.pdf"));
        }
        dialog.accept();
    });
    block.Flags = PD_PRINTTOFILE | PD_NOSELECTION;
    const std::vector<std::uint8_t> names = block.hDevNames;
    ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
    EXPECT_TRUE(startedOnFile);
    EXPECT_EQ(startFile, QDir::homePath() + "/print.pdf");
    EXPECT_TRUE(block.Flags & PD_PRINTTOFILE);
    EXPECT_EQ(block.hDevNames, names);
}

TEST_F(QtPrintDialogTest, CancelGivesFalseAndLeavesTheBlock)
{
    driver.WhenOpen<QPrintDialog>([](QPrintDialog& dialog) { dialog.reject(); });
    block.Flags = PD_NOSELECTION;
    const std::vector<std::uint8_t> names = block.hDevNames;
    EXPECT_FALSE(service.RunPrintDialog(nullptr, block));
    EXPECT_EQ(block.Flags, PD_NOSELECTION);
    EXPECT_EQ(block.hDevNames, names);
    EXPECT_FALSE(block.hDevMode);
    EXPECT_EQ(seen, (std::vector<std::string>{"shown", "closed"}));
}
