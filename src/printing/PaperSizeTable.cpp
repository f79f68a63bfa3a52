#include "PaperSizeTable.h"

#include <cfenv>
#include <cmath>

namespace tarvolo::printing {

const std::array<PaperSizeRow, kPaperSizeCount>& PaperSizeTable()
{
    using enum TQRPaperSize;
    static const std::array<PaperSizeRow, kPaperSizeCount> table = {{
        {Default, 0, 0, 0, "Default size"},
        {Letter, 1, 215.9L, 279.4L, "Letter 8 1/2 x 11 in"},
        {LetterSmall, 2, 215.9L, 279.4L, "Letter Small 8 1/2 x 11 in"},
        {Tabloid, 3, 279.4L, 431.8L, "Tabloid 11 x 17 in"},
        {Ledger, 4, 431.8L, 279.4L, "Ledger 17 x 11 in"},
        {Legal, 5, 215.9L, 355.6L, "Legal 8 1/2 x 14 in"},
        {Statement, 6, 139.7L, 215.9L, "Statement 5 1/2 x 8 1/2 in"},
        {Executive, 7, 190.5L, 254.0L, "Executive7 1/2 x 10 in"},
        {A3, 8, 297.0L, 420.0L, "A3 297 x 420 mm"},
        {A4, 9, 210.0L, 297.0L, "A4 210 x 297 mm"},
        {A4Small, 10, 210.0L, 297.0L, "A4 Small 210 x 297 mm"},
        {A5, 11, 148.0L, 210.0L, "A5 148 x 210 mm"},
        {B4, 12, 250.0L, 354.0L, "B4 250 x 354 mm"},
        {B5, 13, 182.0L, 257.0L, "B5 182 x 257 mm"},
        {Folio, 14, 215.9L, 330.2L, "Folio 8 1/2 x 13 in"},
        {Quarto, 15, 215.0L, 275.0L, "Quarto 215 x 275 mm"},
        {qr10X14, 16, 254.0L, 355.6L, "10x14 in"},
        {qr11X17, 17, 279.4L, 431.8L, "11x17 in"},
        {Note, 18, 215.9L, 279.0L, "Note 8 1/2 x 11 in"},
        {Env9, 19, 98.43L, 225.4L, "Envelope #9 3 7/8 x 8 7/8"},
        {Env10, 20, 104.8L, 241.3L, "Envelope #10 4 1/8 x 9 1/2"},
        {Env11, 21, 114.3L, 263.5L, "Envelope #11 4 1/2 x 10 3/8"},
        {Env12, 22, 101.6L, 279.4L, "Envelope #12 4 \\276 x 11"},
        {Env14, 23, 127.0L, 292.1L, "Envelope #14 4 \\276 x 11"},
        {CSheet, 24, 100.0L, 100.0L, "C size sheet"},
        {DSheet, 25, 100.0L, 100.0L, "D size sheet"},
        {ESheet, 26, 100.0L, 100.0L, "E size sheet"},
        {Custom, 256, 0, 0, "Custom Size"},
    }};
    return table;
}

const PaperSizeRow& PaperRow(TQRPaperSize size)
{
    return PaperSizeTable()[static_cast<std::size_t>(size)];
}

std::int32_t RoundHalfEven(long double value)
{
    // nearbyint rounds in the current mode, which is to nearest, halves to even.
    return static_cast<std::int32_t>(std::nearbyint(value));
}

std::int32_t TableWidth(TQRPaperSize size)
{
    return RoundHalfEven(PaperRow(size).widthMm * 10);
}

std::int32_t TableLength(TQRPaperSize size)
{
    return RoundHalfEven(PaperRow(size).lengthMm * 10);
}

} // namespace tarvolo::printing
