#pragma once

#include <array>
#include <cstdint>

namespace tarvolo::printing {

enum class TQRPaperSize : std::uint8_t {
    Default, Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4, A4Small, A5, B4, B5, Folio,
    Quarto, qr10X14, qr11X17, Note, Env9, Env10, Env11, Env12, Env14, CSheet, DSheet, ESheet, Custom,
};
constexpr int kPaperSizeCount = 28;

enum class TPrinterOrientation : std::uint8_t { poPortrait, poLandscape };

struct PaperSizeRow {
    TQRPaperSize size;
    std::int16_t deviceCode; // DMPAPER
    long double widthMm;     // portrait; 0 for Default and Custom, which take the stored size
    long double lengthMm;
    const char* name;
};

// One row per paper size, in the order of TQRPaperSize.
const std::array<PaperSizeRow, kPaperSizeCount>& PaperSizeTable();
const PaperSizeRow& PaperRow(TQRPaperSize size);

// A table dimension in 0.1 mm: round(mm x 10), halves to even.
std::int32_t TableWidth(TQRPaperSize size);
std::int32_t TableLength(TQRPaperSize size);

// Rounding to the nearest integer, halves to the even neighbour, as every conversion here does.
std::int32_t RoundHalfEven(long double value);

} // namespace tarvolo::printing
