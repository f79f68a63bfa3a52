#pragma once

#include "platform/DesktopLinks.h"

#include <vector>

namespace tarvolo::platform {

// Keeps the links it is asked to open.
class TestDesktopLinks : public DesktopLinks {
public:
    std::vector<QUrl> opened;
    bool answer = true;
    bool Open(const QUrl& link) override
    {
        opened.push_back(link);
        return answer;
    }
};

} // namespace tarvolo::platform
