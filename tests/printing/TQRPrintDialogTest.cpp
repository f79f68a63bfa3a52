// The print dialog object against a dialog service that answers for the user and a printer
// device under the test's control.

#include "printing/TQRPrintDialog.h"

#include "doubles/TestDialogService.h"
#include "doubles/TestPrinterDevice.h"
#include "platform/DevNames.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace tarvolo::platform;
using namespace tarvolo::printing;
using enum TPrintDialogOption;

namespace {

constexpr std::uint32_t kHooks = PD_ENABLEPRINTHOOK | PD_ENABLESETUPHOOK;

class TQRPrintDialogTest : public ::testing::Test {
protected:
    TQRPrintDialogTest()
    {
        printer.printers = {TestPrinterDevice::LaserPrinter("Laser"), TestPrinterDevice::LaserPrinter("Office")};
        printer.SetPrinterIndex(0);
    }

    // The user changes the block as change does, then confirms or cancels.
    void Answer(std::function<void(PrintDialogBlock&)> change, bool confirm = true)
    {
        dialogs.printAnswers.push_back([change, confirm](PrintDialogBlock& block) {
            change(block);
            return confirm;
        });
    }

    const PrintDialogBlock& Started() const
    {
        if (dialogs.printRequests.empty())
            throw std::runtime_error("no print dialog was run");
        return dialogs.printRequests.back();
    }

    TestPrinterDevice printer;
    TestDialogService dialogs;
    TQRPrintDialog dialog{printer, dialogs};
};

} // namespace

TEST_F(TQRPrintDialogTest, ViewerOptionsOfferPageNumbersAndWarnings)
{
    dialog.Options = {poPageNums, poWarning};
    EXPECT_FALSE(dialog.RunDialog());
    EXPECT_EQ(Started().Flags, PD_HIDEPRINTTOFILE | PD_NOSELECTION | PD_NOCURRENTPAGE | kHooks);
    EXPECT_EQ(Started().nCopies, 0);
    EXPECT_EQ(ReadDevNames(Started().hDevNames).device, "Laser");
    EXPECT_EQ(Started().hDevMode, printer.GetDeviceMode());
}

struct FlagsCase {
    const char* name;
    TPrintDialogOptions options;
    TPrintRange range;
    bool collate;
    bool printToFile;
    std::uint32_t flags;
};

class TQRPrintDialogFlagsTest : public TQRPrintDialogTest, public ::testing::WithParamInterface<FlagsCase> {};

TEST_P(TQRPrintDialogFlagsTest, FollowOptionsRangeCollateAndPrintToFile)
{
    const FlagsCase& c = GetParam();
    dialog.Options = c.options;
    dialog.PrintRange = c.range;
    dialog.Collate = c.collate;
    dialog.PrintToFile = c.printToFile;
    dialog.RunDialog();
    EXPECT_EQ(Started().Flags, c.flags | kHooks);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TQRPrintDialogFlagsTest,
    ::testing::Values(
        FlagsCase{"NoOptions", {}, TPrintRange::prAllPages, false, false,
                  PD_HIDEPRINTTOFILE | PD_NOPAGENUMS | PD_NOSELECTION | PD_NOCURRENTPAGE | PD_NOWARNING},
        FlagsCase{"SelectionCollated", {poPrintToFile, poSelection}, TPrintRange::prSelection, true, false,
                  PD_SELECTION | PD_COLLATE | PD_NOPAGENUMS | PD_NOCURRENTPAGE | PD_NOWARNING},
        FlagsCase{"PagesToFileWithHelp", {poPrintToFile, poPageNums, poWarning, poHelp}, TPrintRange::prPageNums, false,
                  true, PD_PAGENUMS | PD_PRINTTOFILE | PD_SHOWHELP | PD_NOSELECTION | PD_NOCURRENTPAGE},
        FlagsCase{"EveryOptionFileDisabled",
                  {poPrintToFile, poDisablePrintToFile, poPageNums, poSelection, poWarning, poCurrentPage},
                  TPrintRange::prAllPages, false, false, PD_DISABLEPRINTTOFILE},
        FlagsCase{"FileHiddenAndDisabled", {poDisablePrintToFile}, TPrintRange::prAllPages, false, false,
                  PD_HIDEPRINTTOFILE | PD_DISABLEPRINTTOFILE | PD_NOPAGENUMS | PD_NOSELECTION | PD_NOCURRENTPAGE | PD_NOWARNING},
        FlagsCase{"CurrentPage", {poCurrentPage, poPageNums, poWarning}, TPrintRange::prCurrentPage, false, false,
                  PD_CURRENTPAGE | PD_HIDEPRINTTOFILE | PD_NOSELECTION},
        FlagsCase{"CurrentPageNotOffered", {poPageNums, poWarning}, TPrintRange::prCurrentPage, false, false,
                  PD_CURRENTPAGE | PD_NOCURRENTPAGE | PD_HIDEPRINTTOFILE | PD_NOSELECTION}),
    [](const ::testing::TestParamInfo<FlagsCase>& info) { return std::string(info.param.name); });

TEST_F(TQRPrintDialogTest, PageRangeStartsTheDialogAndAllPagesComesBack)
{
    dialog.Options = {poPageNums};
    dialog.PrintRange = TPrintRange::prPageNums;
    dialog.MinPage = 1;
    dialog.MaxPage = 5;
    dialog.FromPage = 1;
    dialog.ToPage = 5;
    Answer([](PrintDialogBlock& block) {
        block.Flags &= ~PD_PAGENUMS;
        block.nFromPage = 2;
        block.nToPage = 3;
    });
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_TRUE(Started().Flags & PD_PAGENUMS);
    EXPECT_EQ((std::array{Started().nFromPage, Started().nToPage, Started().nMinPage, Started().nMaxPage}),
              (std::array<std::uint16_t, 4>{1, 5, 1, 5}));
    EXPECT_EQ(dialog.PrintRange, TPrintRange::prAllPages);
    EXPECT_EQ(dialog.FromPage, 2);
    EXPECT_EQ(dialog.ToPage, 3);
}

TEST_F(TQRPrintDialogTest, ConfirmedFlagsComeBackAsProperties)
{
    struct Case {
        std::uint32_t flags;
        TPrintRange range;
        bool collate;
        bool printToFile;
    };
    for (const Case& c : {Case{PD_SELECTION | PD_PAGENUMS, TPrintRange::prSelection, false, false},
                          Case{PD_PAGENUMS | PD_COLLATE, TPrintRange::prPageNums, true, false},
                          Case{PD_PRINTTOFILE, TPrintRange::prAllPages, false, true},
                          Case{PD_CURRENTPAGE | PD_SELECTION | PD_PAGENUMS, TPrintRange::prCurrentPage, false, false},
                          Case{0, TPrintRange::prAllPages, false, false}}) {
        SCOPED_TRACE(c.flags);
        Answer([&c](PrintDialogBlock& block) { block.Flags = c.flags; });
        ASSERT_TRUE(dialog.RunDialog());
        EXPECT_EQ(dialog.PrintRange, c.range);
        EXPECT_EQ(dialog.Collate, c.collate);
        EXPECT_EQ(dialog.PrintToFile, c.printToFile);
    }
}

TEST_F(TQRPrintDialogTest, PageChoicesStartTheDialogAndTheOnesConfirmedComeBack)
{
    struct Case {
        const char* what;
        std::vector<TPageRange> ranges;
        TPageSet pageSet;
        bool reverse;
        std::vector<PrintPageRange> startRanges;
        PrintPageSet startPageSet;
    };
    const Case cases[] = {
        {"no list", {}, TPageSet::psAll, false, {}, PrintPageSet::All},
        {"one range is from and to alone", {{2, 5}}, TPageSet::psOdd, true, {}, PrintPageSet::Odd},
        {"a list as given", {{6, 8}, {1, 1}, {70000, 70001}}, TPageSet::psEven, false,
         {{6, 8}, {1, 1}, {0xFFFF, 0xFFFF}}, PrintPageSet::Even},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialog.Options = {poPageNums};
        dialog.PrintRange = TPrintRange::prPageNums;
        dialog.FromPage = 1;
        dialog.ToPage = 8;
        dialog.PageRanges = c.ranges;
        dialog.PageSet = c.pageSet;
        dialog.Reverse = c.reverse;
        Answer([](PrintDialogBlock& block) {
            block.pageRanges = {{3, 3}, {9, 12}};
            block.nFromPage = 3;
            block.nToPage = 12;
            block.pageSet = PrintPageSet::Even;
            block.reverseOrder = true;
        });
        ASSERT_TRUE(dialog.RunDialog());
        EXPECT_EQ(Started().pageRanges, c.startRanges);
        EXPECT_EQ(Started().pageSet, c.startPageSet);
        EXPECT_EQ(Started().reverseOrder, c.reverse);
        EXPECT_EQ(dialog.PageRanges, (std::vector<TPageRange>{{3, 3}, {9, 12}}));
        EXPECT_EQ((std::array{dialog.FromPage, dialog.ToPage}), (std::array{3, 12}));
        EXPECT_EQ(dialog.PageSet, TPageSet::psEven);
        EXPECT_TRUE(dialog.Reverse);
    }
}

TEST_F(TQRPrintDialogTest, ChoicesNotMadeComeBackCleared)
{
    dialog.Options = {poPageNums, poCurrentPage};
    dialog.PrintRange = TPrintRange::prPageNums;
    dialog.PageRanges = {{1, 1}, {4, 4}};
    dialog.PageSet = TPageSet::psOdd;
    dialog.Reverse = true;
    Answer([](PrintDialogBlock& block) {
        block.Flags = PD_CURRENTPAGE;
        block.pageRanges.clear();
        block.pageSet = PrintPageSet::All;
        block.reverseOrder = false;
    });
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(dialog.PrintRange, TPrintRange::prCurrentPage);
    EXPECT_TRUE(dialog.PageRanges.empty());
    EXPECT_EQ(dialog.PageSet, TPageSet::psAll);
    EXPECT_FALSE(dialog.Reverse);
}

TEST_F(TQRPrintDialogTest, OneCopyBackTakesTheCopiesOfTheDeviceMode)
{
    dialog.SetCopies(2);
    Answer([](PrintDialogBlock& block) {
        block.hDevMode->dmCopies = 4;
        block.nCopies = 1;
    });
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(Started().hDevMode->dmCopies, 2);
    EXPECT_EQ(dialog.Copies(), 4);
    EXPECT_EQ(printer.GetDeviceMode().dmCopies, 4);
}

TEST_F(TQRPrintDialogTest, MoreCopiesBackAreSetOnThePrinter)
{
    Answer([](PrintDialogBlock& block) { block.nCopies = 3; });
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(dialog.Copies(), 3);
    EXPECT_EQ(printer.GetDeviceMode().dmCopies, 3);
    EXPECT_TRUE(printer.GetDeviceMode().dmFields & DM_COPIES);
}

TEST_F(TQRPrintDialogTest, CancelledDialogChangesNothing)
{
    dialog.Options = {poPageNums};
    dialog.PrintRange = TPrintRange::prPageNums;
    dialog.FromPage = 2;
    dialog.ToPage = 4;
    dialog.PageRanges = {{2, 2}, {4, 4}};
    dialog.PageSet = TPageSet::psEven;
    dialog.SetCopies(2);
    const DeviceMode mode = printer.GetDeviceMode();
    Answer(
        [](PrintDialogBlock& block) {
            block.Flags = PD_COLLATE | PD_PRINTTOFILE | PD_SELECTION;
            block.nFromPage = block.nToPage = 9;
            block.pageRanges = {{9, 9}};
            block.pageSet = PrintPageSet::Odd;
            block.reverseOrder = true;
            block.nCopies = 7;
            block.hDevNames = MakeDevNames(TestPrinterDevice::LaserPrinter("Office").names);
            block.hDevMode->dmOrientation = DMORIENT_LANDSCAPE;
        },
        false);
    EXPECT_FALSE(dialog.RunDialog());
    EXPECT_EQ(dialog.PrintRange, TPrintRange::prPageNums);
    EXPECT_EQ(dialog.FromPage, 2);
    EXPECT_EQ(dialog.ToPage, 4);
    EXPECT_EQ(dialog.PageRanges, (std::vector<TPageRange>{{2, 2}, {4, 4}}));
    EXPECT_EQ(dialog.PageSet, TPageSet::psEven);
    EXPECT_FALSE(dialog.Reverse);
    EXPECT_FALSE(dialog.Collate);
    EXPECT_FALSE(dialog.PrintToFile);
    EXPECT_EQ(dialog.Copies(), 2);
    EXPECT_EQ(printer.Names().device, "Laser");
    EXPECT_EQ(printer.GetDeviceMode(), mode);
}

TEST_F(TQRPrintDialogTest, ChoosingAnotherPrinterSelectsItWithTheDialogsDeviceMode)
{
    Answer([](PrintDialogBlock& block) {
        block.hDevNames = MakeDevNames(TestPrinterDevice::LaserPrinter("Office").names);
        block.hDevMode->dmOrientation = DMORIENT_LANDSCAPE;
        block.nCopies = 1;
    });
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(printer.PrinterIndex(), 1);
    EXPECT_EQ(printer.GetDeviceMode().dmOrientation, DMORIENT_LANDSCAPE);
}

TEST_F(TQRPrintDialogTest, PrinterWithoutDeviceStartsTheDialogWithoutBlocks)
{
    TestPrinterDevice none;
    TQRPrintDialog empty(none, dialogs);
    empty.RunDialog();
    EXPECT_TRUE(Started().hDevNames.empty());
    EXPECT_FALSE(Started().hDevMode);
}

TEST_F(TQRPrintDialogTest, ShowAndCloseNotificationsTrackTheDialog)
{
    std::vector<std::string> seen;
    dialog.OnShow = [&seen](TQRCommonDialog& d) { seen.push_back(d.Showing() ? "show, showing" : "show"); };
    dialog.OnClose = [&seen](TQRCommonDialog& d) { seen.push_back(d.Showing() ? "close, showing" : "close"); };
    Answer([&](PrintDialogBlock&) { seen.push_back(dialog.Showing() ? "answer, showing" : "answer"); });
    ASSERT_TRUE(dialog.RunDialog());
    EXPECT_EQ(seen, (std::vector<std::string>{"show, showing", "answer, showing", "close"}));
    EXPECT_FALSE(dialog.Showing());
}

TEST(DevNamesTest, NamesFollowTheFourOffsetWords)
{
    const std::vector<std::uint8_t> block = MakeDevNames({"Dev", "Driver01", "LPT1:"});
    const std::vector<std::uint8_t> expected = {8, 0, 17, 0, 21, 0, 0, 0,
                                                'D', 'r', 'i', 'v', 'e', 'r', '0', '1', 0,
                                                'D', 'e', 'v', 0,
                                                'L', 'P', 'T', '1', ':', 0};
    EXPECT_EQ(block, expected);
}

TEST(DevNamesTest, LongAndAccentedNamesComeBackWhole)
{
    const DeviceNames names{"Fila-da-Contabilidade-" + QString(100, 'x') + "-Impressão", "Driver é", "ipp://servidor/fila"};
    const DeviceNames back = ReadDevNames(MakeDevNames(names));
    EXPECT_EQ(back.device, names.device);
    EXPECT_EQ(back.driver, names.driver);
    EXPECT_EQ(back.port, names.port);
}

TEST(DevNamesTest, DamagedBlocksGiveEmptyNames)
{
    const std::vector<std::uint8_t> good = MakeDevNames({"Dev", "Drv", "Prt"}); // driver 8, device 12, port 16
    struct Case {
        const char* what;
        std::vector<std::uint8_t> block;
        DeviceNames names;
    };
    auto with = [&good](std::size_t at, std::uint8_t value) {
        std::vector<std::uint8_t> block = good;
        block[at] = value;
        return block;
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"shorter than the offsets", {8, 0, 8, 0, 8, 0, 0}, {}},
        {"device offset just past the end", with(2, static_cast<std::uint8_t>(good.size())), {"", "Drv", "Prt"}},
        {"driver offset into the offsets", with(0, 2), {"Dev", "", "Prt"}},
        {"port without its terminator", with(good.size() - 1, 'x'), {"Dev", "Drv", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DeviceNames names = ReadDevNames(c.block);
        EXPECT_EQ(names.device, c.names.device);
        EXPECT_EQ(names.driver, c.names.driver);
        EXPECT_EQ(names.port, c.names.port);
    }
}
