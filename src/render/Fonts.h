#pragma once

namespace tarvolo::emf {

// Makes the faces that stand in for Windows' UI fonts here known to this process: Wine ships
// Tahoma and MS Sans Serif outside fontconfig's path. Once per process, with the application
// object made; later calls do nothing. The player registers them itself before it first looks for
// a font; code that draws its own widgets in those faces calls this first.
void RegisterFallbackFonts();

} // namespace tarvolo::emf
