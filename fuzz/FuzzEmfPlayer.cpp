// Plays arbitrary bytes as a metafile onto an image. Any crash, hang or runaway allocation is a
// finding; records the player cannot make sense of must only end or skip playback.
//
// The first bytes of the input choose the header's frame, bounds and reference device and the
// size of the image, so that the mapping and image-size code is fuzzed with the records.

#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "render/EmfPlayer.h"
#include "render/Fonts.h"
#include "render/PageRenderer.h"

#include <QGuiApplication>

#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <memory>
#include <vector>

using namespace tarvolo;

namespace {

QGuiApplication* application = nullptr;

// Takes the next little-endian 32-bit value from the front of the input, or 0 when it is used up.
std::int32_t Take(const std::uint8_t*& data, std::size_t& size)
{
    if (size < 4) {
        size = 0;
        return 0;
    }
    const std::int32_t value = ReadI32LE(data);
    data += 4;
    size -= 4;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept reachable to the end, so that the leak check does not count the font database it holds,
    // and never destroyed: at exit Qt's own globals are already gone.
    application = new QGuiApplication(*argc, *argv);
    // The player registers extra faces with fontconfig once per process, and Qt's fontconfig
    // backend drops its last pointer to the patterns it adds. That one-time allocation is made
    // here, outside any input, and kept out of the leak check.
    {
        __lsan::ScopedDisabler fontRegistration;
        emf::RegisterFallbackFonts();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(108, 0);
    WriteU32LE(bytes.data(), emf::emr::Header);
    WriteU32LE(bytes.data() + 4, 108);
    // rclBounds, rclFrame, szlDevice, szlMillimeters from the input.
    for (std::size_t offset : {8, 12, 16, 20, 24, 28, 32, 36, 72, 76, 80, 84})
        WriteI32LE(bytes.data() + offset, Take(data, size));
    WriteU32LE(bytes.data() + 40, emf::kEmfSignature);
    WriteU16LE(bytes.data() + 56, 16);
    // Images from 1 x 1 to 256 x 256 pixels.
    const std::uint32_t shape = static_cast<std::uint32_t>(Take(data, size));
    const QSize imageSize(1 + static_cast<int>(shape & 0xFF), 1 + static_cast<int>((shape >> 8) & 0xFF));
    bytes.insert(bytes.end(), data, data + size);
    WriteU32LE(bytes.data() + 48, static_cast<std::uint32_t>(bytes.size()));
    try {
        const emf::Metafile metafile(std::move(bytes));
        emf::PageRenderer::RenderImage(metafile, imageSize);
    } catch (const emf::EInvalidGraphic&) {
    }
    return 0;
}
