#include "metafile/GdiConstants.h"
#include "render/detail/FontMapper.h"
#include "render/PageRenderer.h"
#include "render/detail/SymbolCharacters.h"
#include "support/InkComparison.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QRawFont>
#include <QString>

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

using namespace tarvolo;
using namespace tarvolo::emf;
using tarvolo::test::Bytes;
using tarvolo::test::InkComparison;
using tarvolo::test::MakeMetafile;
using tarvolo::test::MakeRecord;
using tarvolo::test::RecordBuilder;

// Text in Symbol, Wingdings and Webdings shows the Unicode symbols their codes stand for.

namespace {

constexpr std::uint8_t kSymbolCharset = 2;

QString S(const char16_t* text)
{
    return QString::fromUtf16(text);
}

Bytes Font(const QString& faceName, std::uint8_t charSet)
{
    Bytes face;
    for (QChar c : faceName.leftJustified(32, QChar(0))) {
        face.push_back(static_cast<std::uint8_t>(c.unicode()));
        face.push_back(static_cast<std::uint8_t>(c.unicode() >> 8));
    }
    return RecordBuilder(emr::ExtCreateFontIndirectW)
        .U32(1).I32(-30).I32(0).I32(0).I32(0).I32(400).U32(std::uint32_t{charSet} << 24).U32(0)
        .Raw(face)
        .Build();
}

// EMR_EXTTEXTOUTW, or EMR_EXTTEXTOUTA with each character's low byte.
Bytes TextOut(bool wide, const QString& text, const std::vector<std::int32_t>& dx)
{
    constexpr std::uint32_t kOffString = 76;
    Bytes string;
    for (QChar c : text) {
        string.push_back(static_cast<std::uint8_t>(c.unicode()));
        if (wide)
            string.push_back(static_cast<std::uint8_t>(c.unicode() >> 8));
    }
    string.resize((string.size() + 3) / 4 * 4);
    RecordBuilder record(wide ? emr::ExtTextOutW : emr::ExtTextOutA);
    record.I32(0).I32(0).I32(-1).I32(-1).U32(gdi::GM_COMPATIBLE).U32(std::bit_cast<std::uint32_t>(1.0f))
        .U32(std::bit_cast<std::uint32_t>(1.0f))
        .I32(5).I32(25).U32(static_cast<std::uint32_t>(text.size())).U32(kOffString).U32(0)
        .I32(0).I32(0).I32(-1).I32(-1)
        .U32(dx.empty() ? 0 : kOffString + static_cast<std::uint32_t>(string.size()))
        .Raw(string);
    for (std::int32_t d : dx)
        record.I32(d);
    return record.Build();
}

QImage Draw(const QString& faceName, std::uint8_t charSet, bool wide, const QString& text, const std::vector<std::int32_t>& dx)
{
    const Metafile page(MakeMetafile({Font(faceName, charSet), MakeRecord(emr::SelectObject, {1}), TextOut(wide, text, dx)}));
    return PageRenderer::RenderImage(page, PageRenderer::SizeAtDpi(page, 96), nullptr);
}

int Ink(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            count += std::min({qRed(c), qGreen(c), qBlue(c)}) < 207;
        }
    return count;
}

} // namespace

TEST(SymbolFonts, CodesBecomeTheSymbolsTheyStandFor)
{
    struct Case {
        SymbolFace face;
        char32_t code;
        char32_t expected;
    };
    const Case cases[] = {
        {SymbolFace::Symbol, 0x61, 0x03B1},    {SymbolFace::Symbol, 0xF061, 0x03B1}, {SymbolFace::Symbol, 0x57, 0x03A9},
        {SymbolFace::Symbol, 0xB7, 0x2022},    {SymbolFace::Symbol, 0xD6, 0x221A},   {SymbolFace::Symbol, 0xAE, 0x2192},
        {SymbolFace::Symbol, 0x31, 0x31},      {SymbolFace::Wingdings, 0x4A, 0x263A}, {SymbolFace::Wingdings, 0xFC, 0x2714},
        {SymbolFace::Wingdings, 0xF0FC, 0x2714}, {SymbolFace::Wingdings, 0xFB, 0x2718}, {SymbolFace::Wingdings, 0x6C, 0x25CF},
        {SymbolFace::Wingdings, 0xA8, 0x25FB}, {SymbolFace::Wingdings, 0x71, 0x2751}, {SymbolFace::Wingdings, 0xD8, 0x27A2},
        {SymbolFace::Wingdings, 0xE8, 0x2794}, {SymbolFace::Wingdings, 0x9F, 0x2022}, {SymbolFace::Wingdings, 0x22, 0x2702},
        {SymbolFace::Wingdings, 0x3A, 0x1F5B3}, {SymbolFace::Webdings, 0x61, 0x2714}, {SymbolFace::Webdings, 0xF072, 0x2718},
        {SymbolFace::Webdings, 0x37, 0x23EA},  {SymbolFace::Webdings, 0x3D, 0x23FA},
        // Codes without a counterpart, outside the font's range, or in no known face stay as they came.
        {SymbolFace::Wingdings, 0xFF, 0xFF},   {SymbolFace::Wingdings, 0xF07F, 0xF07F}, {SymbolFace::Symbol, 0x03B1, 0x03B1},
        {SymbolFace::Symbol, 0x0A, 0x0A},      {SymbolFace::None, 0x61, 0x61},       {SymbolFace::None, 0xF0FC, 0xF0FC},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SymbolCharacter(c.face, c.code), c.expected) << int(c.face) << " code " << std::hex << std::uint32_t{c.code};

    EXPECT_EQ(SymbolFaceOf(" wingdings "), SymbolFace::Wingdings);
    EXPECT_EQ(SymbolFaceOf("Symbol"), SymbolFace::Symbol);
    EXPECT_EQ(SymbolFaceOf("WEBDINGS"), SymbolFace::Webdings);
    EXPECT_EQ(SymbolFaceOf("Arial"), SymbolFace::None);
    EXPECT_EQ(SymbolText(SymbolFace::Wingdings, S(u"\uF0FC\uF03A")), S(u"\u2714") + QString::fromUcs4(U"\U0001F5B3"));
}

TEST(SymbolFonts, TheStandInFamilyDrawsEverySymbol)
{
    for (const char* face : {"Symbol", "Wingdings", "Webdings"}) {
        GdiFont font;
        font.faceName = face;
        const QRawFont raw = FontMapper::Instance().Font(font, 20);
        ASSERT_TRUE(raw.isValid()) << face;
        for (char32_t code = 0x20; code <= 0xFF; ++code) {
            const char32_t symbol = SymbolCharacter(SymbolFaceOf(face), code);
            // No installed font has Om (Wingdings 0x5C).
            if (symbol != code && symbol != 0x0950) {
                EXPECT_TRUE(raw.supportsCharacter(symbol))
                    << face << " code " << std::hex << std::uint32_t{code} << " U+" << std::uint32_t{symbol};
            }
        }
    }
}

TEST(SymbolFonts, SymbolTextDrawsLikeTheSymbolsInAFontThatHasThem)
{
    struct Case {
        const char* face;
        std::uint8_t charSet;
        bool wide;
        QString text;
        std::vector<std::int32_t> dx;
        const char* referenceFace;
        QString reference;
    };
    const Case cases[] = {
        {"Wingdings", kSymbolCharset, true, S(u"\uF0FC\uF0FB"), {45, 45}, "Symbola", S(u"\u2714\u2718")},
        {"Wingdings", gdi::ANSI_CHARSET, false, S(u"\u00FC\u00FB"), {45, 45}, "Symbola", S(u"\u2714\u2718")},
        {"Wingdings", kSymbolCharset, false, S(u"\u009F\u006C"), {45, 45}, "Symbola", S(u"\u2022\u25CF")},
        {"Symbol", kSymbolCharset, true, "abg", {}, "Symbola", S(u"\u03B1\u03B2\u03B3")},
        {"Symbol", kSymbolCharset, false, "abg", {20, 20, 20}, "Symbola", S(u"\u03B1\u03B2\u03B3")},
        // An ordinary face, whatever its character set, keeps its letters.
        {"Arial", kSymbolCharset, true, "abg", {}, "Liberation Sans", "abg"},
        {"Arial", gdi::ANSI_CHARSET, false, "abg", {20, 20, 20}, "Liberation Sans", "abg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.face) + " " + c.text.toStdString());
        const QImage drawn = Draw(c.face, c.charSet, c.wide, c.text, c.dx);
        const QImage expected = Draw(c.referenceFace, gdi::ANSI_CHARSET, true, c.reference, c.dx);
        ASSERT_GT(Ink(expected), 150);
        const InkComparison ink = InkComparison::Compare(expected, drawn);
        EXPECT_GT(ink.recall, 0.97);
        EXPECT_GT(ink.precision, 0.97);
    }
    // The check mark is not the box a font without it would draw.
    const QImage box = Draw("Liberation Sans", gdi::ANSI_CHARSET, true, S(u"\u2714"), {});
    const InkComparison check = InkComparison::Compare(Draw("Symbola", gdi::ANSI_CHARSET, true, S(u"\u2714"), {}),
                                                       Draw("Wingdings", kSymbolCharset, true, S(u"\uF0FC"), {}));
    EXPECT_GT(check.recall, 0.97);
    EXPECT_LT(InkComparison::Compare(box, Draw("Wingdings", kSymbolCharset, true, S(u"\uF0FC"), {})).precision, 0.6);
}
