#include "DevNames.h"

#include <QByteArray>

#include <algorithm>
#include <stdexcept>

namespace tarvolo::platform {

namespace {

constexpr std::size_t kHeaderSize = 8;

void PutWord(std::vector<std::uint8_t>& block, std::size_t at, std::size_t value)
{
    block[at] = static_cast<std::uint8_t>(value & 0xFF);
    block[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::size_t Word(std::span<const std::uint8_t> block, std::size_t at)
{
    return static_cast<std::size_t>(block[at]) | static_cast<std::size_t>(block[at + 1]) << 8;
}

QString NameAt(std::span<const std::uint8_t> block, std::size_t offset)
{
    if (offset < kHeaderSize || offset >= block.size())
        return {};
    const auto begin = block.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = std::find(begin, block.end(), std::uint8_t{0});
    if (end == block.end())
        return {};
    return QString::fromUtf8(reinterpret_cast<const char*>(&*begin), end - begin);
}

} // namespace

std::vector<std::uint8_t> MakeDevNames(const DeviceNames& names)
{
    const QByteArray driver = names.driver.toUtf8();
    const QByteArray device = names.device.toUtf8();
    const QByteArray port = names.port.toUtf8();
    const std::size_t driverOffset = kHeaderSize;
    const std::size_t deviceOffset = driverOffset + static_cast<std::size_t>(driver.size()) + 1;
    const std::size_t portOffset = deviceOffset + static_cast<std::size_t>(device.size()) + 1;
    if (portOffset > 0xFFFF)
        throw std::runtime_error("Printer names are too long");
    std::vector<std::uint8_t> block(portOffset + static_cast<std::size_t>(port.size()) + 1, 0);
    PutWord(block, 0, driverOffset);
    PutWord(block, 2, deviceOffset);
    PutWord(block, 4, portOffset);
    std::copy(driver.begin(), driver.end(), block.begin() + static_cast<std::ptrdiff_t>(driverOffset));
    std::copy(device.begin(), device.end(), block.begin() + static_cast<std::ptrdiff_t>(deviceOffset));
    std::copy(port.begin(), port.end(), block.begin() + static_cast<std::ptrdiff_t>(portOffset));
    return block;
}

DeviceNames ReadDevNames(std::span<const std::uint8_t> block)
{
    if (block.size() < kHeaderSize)
        return {};
    return {NameAt(block, Word(block, 2)), NameAt(block, Word(block, 0)), NameAt(block, Word(block, 4))};
}

} // namespace tarvolo::platform
