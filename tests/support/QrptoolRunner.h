#pragma once

#include "TestSupport.h"

#include <chrono>
#include <string>
#include <vector>

namespace tarvolo::test {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
};

// Runs the qrptool built beside the tests with the words given and collects its exit status and
// output; scratch holds its standard error while it runs.
RunResult Qrptool(const std::vector<std::string>& words, const TempDir& scratch);

// The same, sending the program the signal the delay after it has begun to catch it.
RunResult QrptoolInterrupted(const std::vector<std::string>& words, const TempDir& scratch, int signal,
                             std::chrono::milliseconds delay);

} // namespace tarvolo::test
