#pragma once

namespace tarvolo::emf {

class FontMapper;
class GlyphImages;

// Each thread keeps font caches of its own (fonts and their glyph caches are not shared between
// threads), made at first use. They hold Qt's font engines, which must go while what those
// engines lean on still lives: the caches of the application's thread go as the application
// object goes, those of any other thread as it finishes, before Qt drops the thread's own font
// data, and any left when their thread ends.
FontMapper& ThreadFontMapper();
GlyphImages& ThreadGlyphImages();

// Lets go of the calling thread's caches; they are made anew when next asked for.
void ReleaseThreadFonts();

} // namespace tarvolo::emf
