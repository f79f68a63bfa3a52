#pragma once

// What qrptool's commands share: their arguments, the usage error, and reading and writing whole
// files and page numbers the same way in every command.

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarvolo::qrptool {

// The words after the command's name.
using Arguments = std::span<const std::string>;

// Arguments a command does not take: the message is the usage of every command.
class UsageError : public std::runtime_error {
public:
    UsageError();
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// The file at path is replaced only once all of it is written: a failure or an interrupt leaves
// the old one.
void WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes);
void WriteWholeFile(const std::string& path, const QByteArray& bytes);

// A whole decimal number from 1 up, and nothing else: no sign, no spaces, no trailing text.
std::optional<int> PositiveNumber(std::string_view text);
// The pages of --pages as the printer object takes them, 0 standing for the first or last page:
// "A-B", "A-" (A to the end), "-B" (the start to B) or a single "N".
std::pair<int, int> ParsePageRange(std::string_view text);

// Report files alone (ReportCommands.cpp).
int Info(Arguments args);
int Unpack(Arguments args);
int Pack(Arguments args);
int Verify(Arguments args);
int Demo(Arguments args);

// Drawing pages (DrawingCommands.cpp).
int Render(Arguments args);
int RenderEmf(Arguments args);
int Pdf(Arguments args);
int Text(Arguments args);
int Thumbnail(Arguments args);

// The system's printers (PrintingCommands.cpp).
int Print(Arguments args);
int Printers(Arguments args);

} // namespace tarvolo::qrptool
