// The text of a page in reading order, with where each character is drawn.

#include "metafile/GdiConstants.h"
#include "render/EmfRecorder.h"
#include "render/PageRenderer.h"
#include "render/PageText.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

using namespace tarvolo;
using namespace tarvolo::emf;
using tarvolo::test::Bytes;
using tarvolo::test::MakeMetafile;
using tarvolo::test::MakeRecord;
using tarvolo::test::RecordBuilder;

namespace {

struct Placed {
    int x, y;
    const char16_t* text;
};

Metafile Record(const std::vector<Placed>& runs, int height = -12)
{
    EmfRecorder page(400, 200);
    page.font.height = height;
    for (const Placed& run : runs)
        page.TextOut(run.x, run.y, QString::fromUtf16(run.text));
    return page.Finish();
}

PageText TextOf(const Metafile& page)
{
    return PageText(page, PageRenderer::SizeAtDpi(page, 96));
}

// The smallest rectangle holding the image's dark pixels inside `within`.
QRect InkBounds(const QImage& image, const QRect& within)
{
    QRect ink;
    for (int y = std::max(within.top(), 0); y <= std::min(within.bottom(), image.height() - 1); ++y)
        for (int x = std::max(within.left(), 0); x <= std::min(within.right(), image.width() - 1); ++x)
            if (qGray(image.pixel(x, y)) < 160)
                ink = ink.united(QRect(x, y, 1, 1));
    return ink;
}

Bytes Font(const QString& faceName)
{
    Bytes face;
    for (QChar c : faceName.leftJustified(32, QChar(0))) {
        face.push_back(static_cast<std::uint8_t>(c.unicode()));
        face.push_back(static_cast<std::uint8_t>(c.unicode() >> 8));
    }
    return RecordBuilder(emr::ExtCreateFontIndirectW).U32(1).I32(-20).I32(0).I32(0).I32(0).I32(400).U32(0).U32(0).Raw(face).Build();
}

// EMR_EXTTEXTOUTW of text at (5, 25).
Bytes TextOut(const std::u16string& text, std::uint32_t options)
{
    constexpr std::uint32_t kOffString = 76;
    Bytes string;
    for (char16_t c : text) {
        string.push_back(static_cast<std::uint8_t>(c));
        string.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    string.resize((string.size() + 3) / 4 * 4);
    return RecordBuilder(emr::ExtTextOutW)
        .I32(0).I32(0).I32(-1).I32(-1).U32(gdi::GM_COMPATIBLE).U32(std::bit_cast<std::uint32_t>(1.0f))
        .U32(std::bit_cast<std::uint32_t>(1.0f))
        .I32(5).I32(25).U32(static_cast<std::uint32_t>(text.size())).U32(kOffString).U32(options)
        .I32(0).I32(0).I32(-1).I32(-1).U32(0)
        .Raw(string)
        .Build();
}

} // namespace

TEST(PageText, RunsComeInReadingOrder)
{
    const struct {
        const char* what;
        std::vector<Placed> runs;
        const char16_t* expected;
    } cases[] = {
        {"two columns on one line", {{10, 10, u"Nombre"}, {250, 10, u"Total"}}, u"Nombre Total"},
        {"a line above comes first, recorded later", {{10, 60, u"second"}, {10, 10, u"first"}}, u"first\nsecond"},
        {"recorded right to left", {{300, 10, u"C"}, {150, 10, u"B"}, {10, 10, u"A"}}, u"A B C"},
        {"a baseline a little off is the same line", {{10, 10, u"left"}, {200, 13, u"right"}}, u"left right"},
        {"three lines, columns mixed", {{200, 40, u"b2"}, {10, 70, u"a3"}, {10, 40, u"a2"}, {200, 10, u"b1"}, {10, 10, u"a1"}},
         u"a1 b1\na2 b2\na3"},
        {"no text", {}, u""},
    };
    for (const auto& c : cases) {
        const PageText text = TextOf(Record(c.runs));
        EXPECT_EQ(text.Text().toStdString(), QString::fromUtf16(c.expected).toStdString()) << c.what;
        EXPECT_EQ(text.Boxes().size(), static_cast<std::size_t>(text.Text().size())) << c.what;
        // The layout holds the same words, only spaced differently.
        EXPECT_EQ(text.LayoutText().simplified(), text.Text().simplified()) << c.what;
    }

    // Runs that touch join without a space; runs apart are laid out at columns as far apart.
    EmfRecorder touching(400, 200);
    touching.font.height = -12;
    touching.TextOut(10, 10, "Fac");
    touching.TextOut(10 + touching.TextWidth("Fac"), 10, "tura");
    EXPECT_EQ(TextOf(touching.Finish()).Text().toStdString(), "Factura");
    const QString layout = TextOf(Record({{10, 10, u"aaaa"}, {300, 10, u"bbbb"}})).LayoutText();
    EXPECT_GT(layout.indexOf("bbbb"), layout.indexOf("aaaa") + 20) << layout.toStdString();
}

TEST(PageText, BoxesLieWhereTheTextIsDrawn)
{
    const Metafile page = Record({{20, 30, u"Hello"}, {200, 30, u"world"}, {20, 100, u"Second"}}, -24);
    const QSize size = PageRenderer::SizeAtDpi(page, 96);
    const PageText text(page, size);
    ASSERT_EQ(text.Text().toStdString(), "Hello world\nSecond");

    const std::vector<QRectF> world = text.BoxesOf(text.Text().indexOf("world"), 5);
    ASSERT_EQ(world.size(), 1u);
    const QImage image = PageRenderer::RenderImage(page, size);
    // All the ink right of "Hello" on that line is inside the box of "world", give or take a pixel.
    const QRect ink = InkBounds(image, QRect(150, 0, size.width() - 150, 80));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_TRUE(world[0].adjusted(-1, -1, 1, 1).contains(QRectF(ink))) << "ink " << ink.x() << "," << ink.y() << " "
                                                                        << ink.width() << "x" << ink.height();

    // Characters go left to right within a run; a range over two lines has a box on each.
    const auto& boxes = text.Boxes();
    for (int i = 1; i < 5; ++i)
        EXPECT_LT(boxes[i - 1].left(), boxes[i].left());
    const std::vector<QRectF> both = text.BoxesOf(text.Text().indexOf("world"), 12);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_LT(both[0].bottom(), both[1].top() + 1);
    EXPECT_TRUE(text.BoxesOf(3, 0).empty());
    EXPECT_TRUE(text.BoxesOf(-5, 3).empty());
    EXPECT_EQ(text.BoxesOf(text.Text().size() - 2, 100).size(), 1u);
}

TEST(PageText, WhatARecordShowsIsItsText)
{
    const struct {
        const char* what;
        const char* face;
        std::vector<Bytes> before;
        std::uint32_t options;
        std::vector<Bytes> after;
        const char16_t* expected;
    } cases[] = {
        {"plain characters", "Arial", {}, 0, {}, u"abc"},
        {"glyph indexes have no characters", "Arial", {}, gdi::ETO_GLYPH_INDEX, {}, u""},
        {"symbol codes are the symbols drawn", "Wingdings", {}, 0, {}, u"\u264B\u264C\u264D"},
        {"text outlined in a path", "Arial", {MakeRecord(emr::BeginPath, {})}, 0,
         {MakeRecord(emr::EndPath, {}), MakeRecord(emr::FillPath, {0, 0, -1, -1})}, u"abc"},
        {"text clipped away", "Arial", {MakeRecord(emr::IntersectClipRect, {90, 90, 91, 91})}, 0, {}, u"abc"},
    };
    for (const auto& c : cases) {
        std::vector<Bytes> records{Font(c.face), MakeRecord(emr::SelectObject, {1})};
        records.insert(records.end(), c.before.begin(), c.before.end());
        records.push_back(TextOut(u"abc", c.options));
        records.insert(records.end(), c.after.begin(), c.after.end());
        const Metafile page(MakeMetafile(records));
        EXPECT_EQ(TextOf(page).Text().toStdString(), QString::fromUtf16(c.expected).toStdString()) << c.what;
    }
}
