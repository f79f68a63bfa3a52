// Qt's file and print dialogs behind the dialog service, driven as a user would from timers while
// they run. A watchdog rejects any dialog left open, so that a failing test cannot hang the suite.

#include "platform/DevNames.h"
#include "platform/QtDialogService.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

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

// Keeps its messages instead of showing them, and names the default printer the test sets.
class QuietDialogService : public QtDialogService {
public:
    struct Message {
        QWidget* parent;
        QString title;
        QString text;
        Icon icon;
    };
    std::vector<Message> messages;
    std::function<void()> messageShown;
    QString defaultPrinter;

    void ShowMessage(QWidget* parent, const QString& title, const QString& text, Icon icon) override
    {
        messages.push_back({parent, title, text, icon});
        if (messageShown)
            messageShown();
    }

protected:
    QString DefaultPrinterName() const override { return defaultPrinter; }
};

// A widget of Qt's print dialog by its object name; a failure when the dialog has none.
template <typename T>
T* Part(QDialog& dialog, const char* name)
{
    auto* widget = dialog.findChild<T*>(name);
    if (!widget)
        ADD_FAILURE() << "the print dialog has no " << name;
    return widget;
}

void Check(QDialog& dialog, const char* name, bool checked = true)
{
    if (auto* button = Part<QAbstractButton>(dialog, name))
        button->setChecked(checked);
}

void Type(QDialog& dialog, const char* name, const QString& text)
{
    if (auto* edit = Part<QLineEdit>(dialog, name))
        edit->setText(text);
}

void SetValue(QDialog& dialog, const char* name, int value)
{
    if (auto* spin = Part<QSpinBox>(dialog, name))
        spin->setValue(value);
}

void ChoosePageSet(QDialog& dialog, int index) // all, odd, even
{
    if (auto* combo = Part<QComboBox>(dialog, "pageSetCombo"))
        combo->setCurrentIndex(index);
}

bool Checked(QDialog& dialog, const char* name)
{
    const auto* button = Part<QAbstractButton>(dialog, name);
    return button && button->isChecked();
}

// Opens the dialog's options on the tab of the page choices, so that what is visible there is
// what the user sees.
void OpenOptions(QDialog& dialog)
{
    auto* tabs = Part<QTabWidget>(dialog, "tabs");
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    if (!tabs || !buttons)
        return;
    if (!tabs->isVisibleTo(&dialog))
        for (QAbstractButton* button : buttons->buttons())
            if (buttons->buttonRole(button) == QDialogButtonBox::ResetRole)
                button->click();
    if (auto* copies = Part<QWidget>(dialog, "copiesTab"))
        tabs->setCurrentWidget(copies);
}

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

    // A report of 30 pages, with the given flags and nothing chosen from an earlier dialog.
    void StartOnReport(std::uint32_t flags, std::uint16_t from = 0, std::uint16_t to = 0)
    {
        block.Flags = flags;
        block.nMinPage = 1;
        block.nMaxPage = 30;
        block.nFromPage = from;
        block.nToPage = to;
        block.pageRanges.clear();
        block.pageSet = PrintPageSet::All;
        block.reverseOrder = false;
    }

    QuietDialogService service;
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

TEST_F(QtPrintDialogTest, WarnsFirstWithoutADefaultPrinterAndOpensAllTheSame)
{
    struct Case {
        const char* what;
        QString defaultPrinter;
        std::uint32_t flags;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {"no default printer", "", 0, {"warned", "shown", "closed"}},
        {"no warnings asked", "", PD_NOWARNING, {"shown", "closed"}},
        {"a default printer", "TarvoloPDF", 0, {"shown", "closed"}},
    };
    QWidget window;
    service.messageShown = [this] { seen.push_back("warned"); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seen.clear();
        service.messages.clear();
        service.defaultPrinter = c.defaultPrinter;
        block.Flags = c.flags | PD_NOSELECTION | PD_HIDEPRINTTOFILE;
        driver.WhenOpen<QPrintDialog>([](QPrintDialog& dialog) { dialog.accept(); });
        EXPECT_TRUE(service.RunPrintDialog(&window, block));
        EXPECT_EQ(seen, c.seen);
        if (service.messages.empty())
            continue;
        const QuietDialogService::Message& warning = service.messages.front();
        EXPECT_EQ(warning.parent, &window);
        EXPECT_EQ(warning.title, "Impressão");
        EXPECT_EQ(warning.text, "Nenhuma impressora padrão está definida. Escolha uma impressora.");
        EXPECT_EQ(warning.icon, DialogService::Icon::Warning);
    }
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtPrintDialogTest, OffersOnlyTheChoicesItHonours)
{
    const std::vector<const char*> always = {"printAll", "pageSetCombo", "reverse"};
    const std::vector<const char*> never = {"collate", "properties", "printSelection"};
    const std::vector<const char*> pageChoices = {"printRange", "from", "to", "pagesRadioButton", "pagesLineEdit"};
    struct Case {
        const char* what;
        std::uint32_t flags;
        std::uint16_t from;
        std::uint16_t to;
        bool pagesOffered;
        bool currentOffered;
        const char* startsOn;
        std::array<int, 2> shownRange;
    };
    const Case cases[] = {
        {"all pages of the report, its range shown", 0, 0, 0, true, true, "printAll", {1, 30}},
        {"a range chosen before", PD_PAGENUMS, 2, 5, true, true, "printRange", {2, 5}},
        {"the current page chosen before", PD_CURRENTPAGE | PD_PAGENUMS, 2, 5, true, true, "printCurrentPage", {2, 5}},
        {"the current page not offered", PD_CURRENTPAGE | PD_PAGENUMS | PD_NOCURRENTPAGE, 2, 5, true, false, "printRange",
         {2, 5}},
        {"no page numbers, though asked to start on them", PD_PAGENUMS | PD_NOPAGENUMS | PD_NOCURRENTPAGE, 0, 0, false,
         false, "printAll", {1, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartOnReport(c.flags | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_NOWARNING, c.from, c.to);
        std::vector<std::string> shown, hidden;
        bool startedRight = false;
        std::array<int, 2> range{};
        driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
            OpenOptions(dialog);
            for (const char* name : {"printAll", "pageSetCombo", "reverse", "collate", "properties", "printSelection",
                                     "printRange", "from", "to", "pagesRadioButton", "pagesLineEdit", "printCurrentPage"})
                if (auto* widget = Part<QWidget>(dialog, name))
                    (widget->isVisibleTo(&dialog) ? shown : hidden).push_back(name);
            startedRight = Checked(dialog, c.startsOn);
            if (auto* from = Part<QSpinBox>(dialog, "from"))
                range[0] = from->value();
            if (auto* to = Part<QSpinBox>(dialog, "to"))
                range[1] = to->value();
            dialog.reject();
        });
        service.RunPrintDialog(nullptr, block);
        auto isShown = [&shown](const char* name) { return std::find(shown.begin(), shown.end(), name) != shown.end(); };
        for (const char* name : always)
            EXPECT_TRUE(isShown(name)) << name;
        for (const char* name : never)
            EXPECT_FALSE(isShown(name)) << name;
        for (const char* name : pageChoices)
            EXPECT_EQ(isShown(name), c.pagesOffered) << name;
        EXPECT_EQ(isShown("printCurrentPage"), c.currentOffered);
        EXPECT_TRUE(startedRight) << "starts on " << c.startsOn;
        EXPECT_EQ(range, c.shownRange);
    }
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtPrintDialogTest, EveryPageChoiceComesBackInTheBlock)
{
    struct Case {
        const char* what;
        std::uint32_t startFlags;
        std::function<void(QDialog&)> choose;
        std::uint32_t range;
        std::vector<PrintPageRange> ranges;
        std::array<int, 2> fromTo;
        PrintPageSet pageSet;
        bool reverse;
    };
    const Case cases[] = {
        {"a typed list, odd pages, the last first", 0,
         [](QDialog& dialog) {
             Check(dialog, "pagesRadioButton");
             Type(dialog, "pagesLineEdit", "1,4,6-8");
             ChoosePageSet(dialog, 1);
             Check(dialog, "reverse");
         },
         PD_PAGENUMS, {{1, 1}, {4, 4}, {6, 8}}, {1, 8}, PrintPageSet::Odd, true},
        // Qt tells CUPS "odd" here, counting the pages of the job.
        {"one typed page, even pages", 0,
         [](QDialog& dialog) {
             Check(dialog, "pagesRadioButton");
             Type(dialog, "pagesLineEdit", "4");
             ChoosePageSet(dialog, 2);
         },
         PD_PAGENUMS, {{4, 4}}, {4, 4}, PrintPageSet::Even, false},
        {"a range from an even page, odd pages", 0,
         [](QDialog& dialog) {
             Check(dialog, "printRange");
             SetValue(dialog, "from", 2);
             SetValue(dialog, "to", 5);
             ChoosePageSet(dialog, 1);
         },
         PD_PAGENUMS, {{2, 5}}, {2, 5}, PrintPageSet::Odd, false},
        {"the current page instead of a range", PD_PAGENUMS,
         [](QDialog& dialog) {
             Check(dialog, "printCurrentPage");
             ChoosePageSet(dialog, 1);
         },
         PD_CURRENTPAGE, {}, {0, 0}, PrintPageSet::All, false},
        {"all pages, even ones, the last first", PD_PAGENUMS,
         [](QDialog& dialog) {
             Check(dialog, "printAll");
             ChoosePageSet(dialog, 2);
             Check(dialog, "reverse");
         },
         0, {}, {0, 0}, PrintPageSet::Even, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartOnReport(c.startFlags | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_NOWARNING);
        driver.WhenOpen<QPrintDialog>([&c](QPrintDialog& dialog) {
            c.choose(dialog);
            dialog.accept();
        });
        ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
        EXPECT_EQ(block.Flags & (PD_PAGENUMS | PD_SELECTION | PD_CURRENTPAGE), c.range);
        EXPECT_EQ(block.pageRanges, c.ranges);
        EXPECT_EQ((std::array<int, 2>{block.nFromPage, block.nToPage}), c.fromTo);
        EXPECT_EQ(block.pageSet, c.pageSet);
        EXPECT_EQ(block.reverseOrder, c.reverse);
    }
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtPrintDialogTest, PageChoicesStartTheDialogAndComeBackUnchanged)
{
    struct Case {
        const char* what;
        std::vector<PrintPageRange> ranges;
        std::array<std::uint16_t, 2> fromTo;
        PrintPageSet pageSet;
        bool reverse;
        const char* startsOn;
        QString list;
        int pageSetIndex;
    };
    const Case cases[] = {
        {"a list, odd pages, the last first", {{1, 1}, {4, 4}, {6, 8}}, {1, 8}, PrintPageSet::Odd, true,
         "pagesRadioButton", "1,4,6-8", 1},
        {"a range from an even page, even pages", {{2, 5}}, {2, 5}, PrintPageSet::Even, false, "printRange", "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartOnReport(PD_PAGENUMS | PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_NOWARNING, c.fromTo[0], c.fromTo[1]);
        block.pageRanges = c.ranges.size() > 1 ? c.ranges : std::vector<PrintPageRange>{};
        block.pageSet = c.pageSet;
        block.reverseOrder = c.reverse;
        bool startedOn = false, reverse = false;
        QString list;
        int pageSetIndex = -1;
        driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
            startedOn = Checked(dialog, c.startsOn);
            reverse = Checked(dialog, "reverse");
            if (auto* edit = Part<QLineEdit>(dialog, "pagesLineEdit"))
                list = edit->text();
            if (auto* combo = Part<QComboBox>(dialog, "pageSetCombo"))
                pageSetIndex = combo->currentIndex();
            dialog.accept();
        });
        ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
        EXPECT_TRUE(startedOn) << "starts on " << c.startsOn;
        EXPECT_EQ(list, c.list);
        EXPECT_EQ(pageSetIndex, c.pageSetIndex);
        EXPECT_EQ(reverse, c.reverse);
        EXPECT_TRUE(block.Flags & PD_PAGENUMS);
        EXPECT_EQ(block.pageRanges, c.ranges);
        EXPECT_EQ((std::array{block.nFromPage, block.nToPage}), c.fromTo);
        EXPECT_EQ(block.pageSet, c.pageSet);
        EXPECT_EQ(block.reverseOrder, c.reverse);
    }
    EXPECT_FALSE(driver.WatchdogFired());
}

TEST_F(QtPrintDialogTest, AMalformedPageListIsRefusedAndTheDialogStaysOpen)
{
    StartOnReport(PD_NOSELECTION | PD_HIDEPRINTTOFILE | PD_NOWARNING);
    QString refusal;
    bool stayedOpen = false;
    driver.WhenOpen<QPrintDialog>([&](QPrintDialog& dialog) {
        Check(dialog, "pagesRadioButton");
        Type(dialog, "pagesLineEdit", "5-3");
        driver.WhenOpen<QMessageBox>([&refusal](QMessageBox& box) {
            refusal = box.text();
            box.done(QMessageBox::Ok);
        });
        dialog.accept(); // back once the refusal is closed
        stayedOpen = dialog.isVisible();
        Type(dialog, "pagesLineEdit", "3");
        dialog.accept();
    });
    ASSERT_TRUE(service.RunPrintDialog(nullptr, block));
    EXPECT_TRUE(refusal.startsWith("5-3 ")) << refusal.toStdString();
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(block.Flags & PD_PAGENUMS);
    EXPECT_EQ(block.pageRanges, (std::vector<PrintPageRange>{{3, 3}}));
    EXPECT_FALSE(driver.WatchdogFired());
}
