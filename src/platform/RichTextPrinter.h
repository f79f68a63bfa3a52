#pragma once

#include <QString>

class QTextDocument;

namespace tarvolo::platform {

// Prints the text of a rich-text document as one print job, flowing over as many pages as it needs.
class RichTextPrinter {
public:
    virtual ~RichTextPrinter() = default;
    virtual void Print(const QString& jobTitle, const QTextDocument& document) = 0;
};

// Prints on the system's default printer through Qt.
class QtRichTextPrinter : public RichTextPrinter {
public:
    void Print(const QString& jobTitle, const QTextDocument& document) override;
};

} // namespace tarvolo::platform
