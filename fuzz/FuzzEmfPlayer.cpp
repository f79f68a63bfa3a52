// Plays arbitrary bytes as a metafile onto a small image. Any crash, hang or runaway allocation
// is a finding; records the player cannot make sense of must only end or skip playback.

#include "render/EmfPlayer.h"
#include "metafile/GdiConstants.h"
#include "metafile/LittleEndian.h"
#include "render/PageRenderer.h"

#include <QGuiApplication>

#include <cstdint>
#include <memory>
#include <vector>

using namespace tarvolo;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: the process ends without tearing Qt down under the fuzzer's exit handlers.
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Give the input a valid header so that the fuzzer spends its time on the records.
    std::vector<std::uint8_t> bytes(108, 0);
    WriteU32LE(bytes.data(), emf::emr::Header);
    WriteU32LE(bytes.data() + 4, 108);
    WriteI32LE(bytes.data() + 32, 2646);
    WriteI32LE(bytes.data() + 36, 2643);
    WriteU32LE(bytes.data() + 40, emf::kEmfSignature);
    WriteU16LE(bytes.data() + 56, 16);
    WriteI32LE(bytes.data() + 72, 1024);
    WriteI32LE(bytes.data() + 76, 768);
    WriteI32LE(bytes.data() + 80, 271);
    WriteI32LE(bytes.data() + 84, 203);
    bytes.insert(bytes.end(), data, data + size);
    WriteU32LE(bytes.data() + 48, static_cast<std::uint32_t>(bytes.size()));
    try {
        const emf::Metafile metafile(std::move(bytes));
        emf::PageRenderer::RenderImage(metafile, QSize(64, 64));
    } catch (const emf::EInvalidGraphic&) {
    }
    return 0;
}
