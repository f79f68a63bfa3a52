#include "doubles/TestPrinterDevice.h"
#include "printing/TPrinterSettings.h"

#include <gtest/gtest.h>

using namespace tarvolo::platform;
using namespace tarvolo::printing;

namespace {

// Settings bound to a test printer whose device mode the test adjusts first.
struct Bound {
    explicit Bound(const std::function<void(TestPrinterDevice::Printer&)>& adjust = {})
    {
        auto printer = TestPrinterDevice::LaserPrinter("Laser");
        if (adjust)
            adjust(printer);
        device.printers.push_back(printer);
        device.SetPrinterIndex(0);
        settings.BindPrinter(&device);
    }
    TestPrinterDevice device;
    TPrinterSettings settings;
};

} // namespace

TEST(TPrinterSettings, ReadsTheDeviceModeThroughTheTables)
{
    struct Case {
        std::int16_t paperCode;
        TQRPaperSize paper;
        std::int16_t sourceCode;
        TQRBin bin;
        std::int16_t duplex;
        bool isDuplex;
    };
    const Case cases[] = {
        {9, TQRPaperSize::A4, 1, TQRBin::First, DMDUP_SIMPLEX, false},
        {256, TQRPaperSize::Custom, 14, TQRBin::Cassette, DMDUP_VERTICAL, true},
        {70, TQRPaperSize::Default, 15, TQRBin::First, DMDUP_HORIZONTAL, true},
    };
    for (const Case& c : cases) {
        Bound bound([&](TestPrinterDevice::Printer& p) {
            p.defaultMode.dmPaperSize = c.paperCode;
            p.defaultMode.dmDefaultSource = c.sourceCode;
            p.defaultMode.dmDuplex = c.duplex;
        });
        EXPECT_EQ(bound.settings.PaperSize(), c.paper) << c.paperCode;
        EXPECT_EQ(bound.settings.OutputBin(), c.bin) << c.sourceCode;
        EXPECT_EQ(bound.settings.Duplex(), c.isDuplex) << c.duplex;
    }
}

TEST(TPrinterSettings, ReadsCapabilitiesInTenthsOfAMillimetre)
{
    Bound bound;
    EXPECT_EQ(bound.settings.DpiX(), 600);
    EXPECT_EQ(bound.settings.PhysicalLeft(), 42); // 100 px at 600 dpi = 42.33
    EXPECT_EQ(bound.settings.PhysicalTop(), 51);  // 120 px = 50.8
    EXPECT_TRUE(bound.settings.OffersPaperSize(TQRPaperSize::A4));
    EXPECT_FALSE(bound.settings.OffersPaperSize(TQRPaperSize::B4));
    EXPECT_TRUE(bound.settings.OffersPaperSize(TQRPaperSize::Custom));
}

TEST(TPrinterSettings, WritesTheDeviceMode)
{
    Bound bound([](TestPrinterDevice::Printer& p) {
        p.defaultMode.dmDefaultSource = 0x0101;
        p.defaultMode.dmDuplex = DMDUP_VERTICAL;
    });
    TPrinterSettings& s = bound.settings;
    s.SetOutputBin(TQRBin::Auto);
    s.SetCopies(70000);
    s.SetOrientation(TPrinterOrientation::poLandscape);
    s.SetPaperSize(TQRPaperSize::Letter);
    s.WriteToPrinter();
    const DeviceMode mode = bound.device.GetDeviceMode();
    EXPECT_EQ(mode.dmDefaultSource, 0x0107);
    EXPECT_EQ(mode.dmCopies, 4464);
    EXPECT_EQ(mode.dmDuplex, DMDUP_HORIZONTAL);
    EXPECT_EQ(mode.dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(mode.dmPaperSize, 1);
}

TEST(TPrinterSettings, CustomSizesAreStoredAndWritten)
{
    Bound bound([](TestPrinterDevice::Printer& p) { p.defaultMode.dmFields |= DM_PAPERWIDTH | DM_PAPERLENGTH; });
    TPrinterSettings& s = bound.settings;
    s.SetNominalPaperWidth(1234);
    EXPECT_EQ(s.NominalPaperWidth(), 2100) << "ignored while the size is A4";
    s.SetPaperSize(TQRPaperSize::Custom);
    s.SetNominalPaperWidth(1234);
    s.SetNominalPaperLength(2345);
    EXPECT_EQ(s.NominalPaperWidth(), 1234);
    s.WriteToPrinter();
    EXPECT_EQ(bound.device.GetDeviceMode().dmPaperWidth, 1234);
    EXPECT_EQ(bound.device.GetDeviceMode().dmPaperLength, 2345);
    EXPECT_EQ(bound.device.GetDeviceMode().dmPaperSize, 256);
}

TEST(TPrinterSettings, AcceptsOnlyWhatTheDeviceOffers)
{
    Bound bound;
    TPrinterSettings& s = bound.settings;
    s.SetPaperSize(TQRPaperSize::A3);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A3);
    s.SetPaperSize(TQRPaperSize::B4); // not listed
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A3);
    s.SetPaperSize(TQRPaperSize::Default);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::Default);

    Bound bare([](TestPrinterDevice::Printer& p) {
        p.papers.clear();
        p.defaultMode.dmFields = 0;
    });
    bare.settings.SetPaperSize(TQRPaperSize::Letter);
    EXPECT_NE(bare.settings.PaperSize(), TQRPaperSize::Letter);
    bare.settings.SetPaperSize(TQRPaperSize::Custom);
    EXPECT_EQ(bare.settings.PaperSize(), TQRPaperSize::Custom);
    bare.settings.SetCopies(5);
    EXPECT_EQ(bare.settings.Copies(), 1) << "copies are not a field of this device";

    TPrinterSettings unbound;
    EXPECT_FALSE(unbound.FieldSupported(DM_COPIES));
    EXPECT_EQ(unbound.PaperSize(), TQRPaperSize::A4);
}

TEST(PaperSizeTable, DimensionsInTenthsOfAMillimetre)
{
    EXPECT_EQ(TableWidth(TQRPaperSize::Letter), 2159);
    EXPECT_EQ(TableWidth(TQRPaperSize::Env9), 984);
    EXPECT_EQ(TableLength(TQRPaperSize::Note), 2790);
    EXPECT_STREQ(PaperRow(TQRPaperSize::Env12).name, "Envelope #12 4 \\276 x 11");
    EXPECT_EQ(PaperRow(TQRPaperSize::Custom).deviceCode, 256);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(3.5L), 4);
}
