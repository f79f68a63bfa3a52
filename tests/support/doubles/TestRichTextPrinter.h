#pragma once

#include "platform/RichTextPrinter.h"

#include <QTextDocument>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvolo::platform {

// Keeps the title and plain text of every job instead of printing; fails with failure when set.
class TestRichTextPrinter : public RichTextPrinter {
public:
    struct Job {
        QString title;
        QString text;
    };
    std::vector<Job> jobs;
    std::optional<std::string> failure;

    void Print(const QString& jobTitle, const QTextDocument& document) override
    {
        if (failure)
            throw std::runtime_error(*failure);
        jobs.push_back({jobTitle, document.toPlainText()});
    }
};

} // namespace tarvolo::platform
