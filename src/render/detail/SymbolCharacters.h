#pragma once

#include <QString>

#include <cstdint>

namespace tarvolo::emf {

// The symbol fonts whose codes stand for Unicode characters that other fonts draw.
enum class SymbolFace : std::uint8_t { None, Symbol, Wingdings, Webdings };

// Which symbol font's codes the text of a logical font holds. The face name decides: a face we
// have no table for keeps its codes, whatever its character set.
SymbolFace SymbolFaceOf(const QString& faceName);

// The Unicode character a symbol-font code stands for. Codes come as 0x20..0xFF or, as Windows
// programs store them in wide text, as 0xF020..0xF0FF; a code without a counterpart is returned
// as it came.
char32_t SymbolCharacter(SymbolFace face, char32_t code);

// Text in a symbol face turned into the Unicode characters it shows, one per code.
QString SymbolText(SymbolFace face, const QString& text);

} // namespace tarvolo::emf
