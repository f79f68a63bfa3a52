#include "CupsSpooler.h"

#include <QFile>

#include <cups/cups.h>

#include <memory>

namespace tarvolo::platform {

PrintJobError::PrintJobError(Reason reason, QString queue, QString detail)
    : std::runtime_error([&] {
          const QString q = queue.isEmpty() ? QStringLiteral("the printer") : QStringLiteral("the printer ") + queue;
          switch (reason) {
          case Reason::NoDefaultPrinter:
              return QStringLiteral("There is no default printer currently selected");
          case Reason::QueueMissing:
              return q + QStringLiteral(" does not exist: ") + detail;
          case Reason::NotAccepting:
              return q + QStringLiteral(" is not accepting jobs: ") + detail;
          case Reason::SpoolerUnavailable:
              return QStringLiteral("the print service (CUPS) cannot be reached to print on ") + queue + QStringLiteral(": ") + detail;
          case Reason::Refused:
              return q + QStringLiteral(" refused the job: ") + detail;
          case Reason::NotWritten:
              return QStringLiteral("the job for ") + queue + QStringLiteral(" could not be written: ") + detail;
          }
          return detail;
      }().toStdString()),
      reason_(reason), queue_(std::move(queue)), detail_(std::move(detail))
{
}

namespace cups {

namespace {

// How long a scheduler that does not answer is waited for.
constexpr int kConnectTimeoutMs = 5000;

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HttpClose>;

struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using Destination = std::unique_ptr<cups_dest_t, DestFree>;

QString LastError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// A connection of its own, so that a scheduler that is not running is told apart from a queue
// that does not exist: libcups answers "does not exist" for both.
Connection Connect(const QString& queue)
{
    Connection http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr));
    if (!http)
        throw PrintJobError(PrintJobError::Reason::SpoolerUnavailable, queue, LastError());
    return http;
}

} // namespace

QString DefaultQueue()
{
    const Destination dest(cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr));
    return dest ? QString::fromUtf8(dest->name) : QString();
}

void CheckScheduler(const QString& queue)
{
    Connect(queue);
}

void CheckQueue(const QString& queue)
{
    if (queue.isEmpty())
        throw PrintJobError(PrintJobError::Reason::NoDefaultPrinter, queue, {});
    const Connection http = Connect(queue);
    const Destination dest(cupsGetNamedDest(http.get(), queue.toUtf8().constData(), nullptr));
    if (!dest)
        throw PrintJobError(PrintJobError::Reason::QueueMissing, queue, LastError());
    const char* accepting = cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    if (accepting && qstrcmp(accepting, "false") == 0) {
        const char* message = cupsGetOption("printer-state-message", dest->num_options, dest->options);
        QString detail = QStringLiteral("Destination \"%1\" is not accepting jobs.").arg(queue);
        if (message && *message)
            detail += QStringLiteral(" ") + QString::fromUtf8(message);
        throw PrintJobError(PrintJobError::Reason::NotAccepting, queue, detail);
    }
}

PrintJob Submit(const QString& queue, const QString& file, const QString& title, const JobOptions& options)
{
    if (queue.isEmpty())
        throw PrintJobError(PrintJobError::Reason::NoDefaultPrinter, queue, {});
    const Connection http = Connect(queue);
    cups_option_t* cupsOptions = nullptr;
    int count = 0;
    for (const auto& [name, value] : options)
        count = cupsAddOption(name.constData(), value.constData(), count, &cupsOptions);
    const int id = cupsPrintFile2(http.get(), queue.toUtf8().constData(), QFile::encodeName(file).constData(),
                                  title.toUtf8().constData(), count, cupsOptions);
    cupsFreeOptions(count, cupsOptions);
    if (id > 0)
        return {queue, id};
    const ipp_status_t status = cupsLastError();
    const QString detail = LastError();
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        throw PrintJobError(PrintJobError::Reason::QueueMissing, queue, detail);
    // libcups reports a queue removed under it as a failed file transfer; ask for the queue.
    if (status != IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS && !Destination(cupsGetNamedDest(http.get(), queue.toUtf8().constData(), nullptr))
        && cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
        throw PrintJobError(PrintJobError::Reason::QueueMissing, queue, LastError());
    if (status == IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS)
        throw PrintJobError(PrintJobError::Reason::NotAccepting, queue, detail);
    if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL)
        throw PrintJobError(PrintJobError::Reason::SpoolerUnavailable, queue, detail);
    throw PrintJobError(PrintJobError::Reason::Refused, queue, detail);
}

bool Cancel(const PrintJob& job)
{
    if (job.id <= 0)
        return false;
    return cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.toUtf8().constData(), job.id, 1) == IPP_STATUS_OK;
}

} // namespace cups

} // namespace tarvolo::platform
