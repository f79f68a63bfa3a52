#include "QrptoolRunner.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

RunResult QrptoolInterrupted(const std::vector<std::string>& words, const TempDir& scratch, int signal,
                             std::chrono::milliseconds delay)
{
    const std::string outPath = (scratch / "stdout.txt").string();
    const std::string errPath = (scratch / "stderr.txt").string();
    std::vector<std::string> argv = {QRPTOOL_PATH};
    argv.insert(argv.end(), words.begin(), words.end());
    std::vector<char*> pointers;
    for (std::string& word : argv)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);

    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    // The signal is sent once the program catches it, so that a slow start cannot make it die of
    // the signal before it has any say.
    const auto catches = [&] {
        std::ifstream status("/proc/" + std::to_string(child) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.starts_with("SigCgt:"))
                return ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1) != 0;
        return false;
    };
    // Still running, without reaping it: its status is collected below.
    const auto running = [&] {
        siginfo_t info = {};
        return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
    };
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!catches() && std::chrono::steady_clock::now() < giveUp && running())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(delay);
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const Bytes out = ReadFileBytes(outPath);
    result.out.assign(out.begin(), out.end());
    const Bytes err = ReadFileBytes(errPath);
    result.err.assign(err.begin(), err.end());
    return result;
}

} // namespace tarvolo::test
