// qrptool: inspects, unpacks, packs, verifies, draws and prints report files from the command line.

#include "Commands.h"

#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <exception>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolo::qrptool {

namespace {

constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

struct Command {
    std::string_view name;
    // The command's forms as the usage message lists them.
    std::string_view usage;
    // How many words may follow the name; commands with options check those themselves.
    std::size_t fewestArguments = 0;
    std::size_t mostArguments = kAnyNumber;
    // Drawing needs fonts and printers need Qt's print support, both of a GUI application.
    bool needsGuiApplication = false;
    int (*run)(Arguments) = nullptr;
};

// In the order the usage message lists them.
constexpr Command kCommands[] = {
    {.name = "info", .usage = "info FILE", .fewestArguments = 1, .mostArguments = 1, .run = Info},
    {.name = "unpack", .usage = "unpack FILE DIR", .fewestArguments = 2, .mostArguments = 2, .run = Unpack},
    {.name = "pack", .usage = "pack OUT.qrp [--compressed] PAGE.emf...", .fewestArguments = 1, .run = Pack},
    {.name = "verify", .usage = "verify FILE", .fewestArguments = 1, .mostArguments = 1, .run = Verify},
    {.name = "render",
     .usage = "render FILE --page N (--dpi D | --size WxH) -o OUT.png"
              " | render FILE --pages A-B (--dpi D | --size WxH) -o OUT-%d.png",
     .needsGuiApplication = true,
     .run = Render},
    {.name = "render-emf", .usage = "render-emf IN.emf (--dpi D | --size WxH) -o OUT.png", .needsGuiApplication = true, .run = RenderEmf},
    {.name = "pdf", .usage = "pdf FILE -o OUT.pdf", .needsGuiApplication = true, .run = Pdf},
    {.name = "demo", .usage = "demo OUT.qrp [--pages N]", .needsGuiApplication = true, .run = Demo},
    {.name = "print",
     .usage = "print FILE [--printer NAME] [--pages A-B] [--copies N] [--title T]",
     .needsGuiApplication = true,
     .run = Print},
    {.name = "printers", .usage = "printers", .mostArguments = 0, .needsGuiApplication = true, .run = Printers},
    {.name = "thumbnail", .usage = "thumbnail IN OUT SIZE", .fewestArguments = 3, .mostArguments = 3, .needsGuiApplication = true, .run = Thumbnail},
    {.name = "text", .usage = "text FILE [--page N]", .needsGuiApplication = true, .run = Text},
};

std::string UsageMessage()
{
    std::string message = "usage: qrptool";
    const char* separator = " ";
    for (const Command& command : kCommands) {
        message.append(separator).append(command.usage);
        separator = " | ";
    }
    return message;
}

int RunInGuiApplication(const Command& command, Arguments args)
{
    // No display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Failures reach standard error as one line of our own; Qt's notices would break that.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    int argc = 1;
    char name[] = "qrptool";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    return command.run(args);
}

int Run(const std::vector<std::string>& words)
{
    if (words.empty())
        throw UsageError();
    const Arguments args(words.begin() + 1, words.end());
    for (const Command& command : kCommands) {
        if (command.name != words[0])
            continue;
        if (args.size() < command.fewestArguments || args.size() > command.mostArguments)
            throw UsageError();
        return command.needsGuiApplication ? RunInGuiApplication(command, args) : command.run(args);
    }
    throw UsageError();
}

// Messages go out on one line, whatever they carry.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

} // namespace

UsageError::UsageError() : std::runtime_error(UsageMessage()) {}

} // namespace tarvolo::qrptool

int main(int argc, char** argv)
{
    // Past a file size limit a write fails and is reported like any other, instead of the signal
    // ending the program with its temporary output left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return tarvolo::qrptool::Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "qrptool: %s\n", tarvolo::qrptool::OneLine(error.what()).c_str());
        return 1;
    }
}
