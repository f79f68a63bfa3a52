#include "QrptoolRunner.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <sys/wait.h>

namespace tarvolo::test {

namespace {

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted.push_back(c);
    }
    quoted.push_back('\'');
    return quoted;
}

} // namespace

RunResult Qrptool(const std::vector<std::string>& words, const TempDir& scratch)
{
    std::string command = Quote(QRPTOOL_PATH);
    for (const auto& word : words) {
        command += ' ';
        command += Quote(word);
    }
    const auto errPath = scratch / "stderr.txt";
    command += " 2>";
    command += Quote(errPath.string());
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const Bytes err = ReadFileBytes(errPath);
    result.err.assign(err.begin(), err.end());
    return result;
}

} // namespace tarvolo::test
