#pragma once

#include "platform/AssociationStore.h"

#include <stdexcept>
#include <utility>
#include <vector>

namespace tarvolo::platform {

// Keeps every write in order instead of storing it, and refuses the write the test names, as a
// registry without the right to change the keys would.
class TestAssociationStore : public AssociationStore {
public:
    std::vector<std::pair<QString, QString>> writes;
    int refuseWrite = 0;    // the write, counted from 1, that throws; 0 refuses none
    int exports = 0;

    void SetDefaultValue(const QString& key, const QString& value) override
    {
        if (++attempts_ == refuseWrite)
            throw std::runtime_error("access denied: " + key.toStdString());
        writes.emplace_back(key, value);
    }
    void Export() override { ++exports; }

private:
    int attempts_ = 0;
};

} // namespace tarvolo::platform
