#pragma once

#include <QString>

#include <stdexcept>

namespace tarvolo::platform {

// A print job the spooler did not take, or that could not be started at all. The message is the
// system's own; the viewer words it for its users from the reason, the queue and the detail.
class PrintJobError : public std::runtime_error {
public:
    enum class Reason {
        NoDefaultPrinter,   // no queue was chosen and the system names no default one
        QueueMissing,       // the chosen queue does not exist (any more)
        NotAccepting,       // the queue refuses jobs
        SpoolerUnavailable, // the print service cannot be reached
        Refused,            // the spooler turned the job down for another reason
        NotWritten,         // the job could not be written before it was handed over
    };

    PrintJobError(Reason reason, QString queue, QString detail);

    Reason reason() const { return reason_; }
    const QString& queue() const { return queue_; }
    const QString& detail() const { return detail_; }

private:
    Reason reason_;
    QString queue_;
    QString detail_;
};

// A job as the spooler knows it: its queue and number. Number 0: no job reached the spooler.
struct PrintJob {
    QString queue;
    int id = 0;

    // "Queue-42", as lp and lpstat name jobs.
    QString Name() const { return queue + '-' + QString::number(id); }
};

} // namespace tarvolo::platform
