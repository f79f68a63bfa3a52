#pragma once

#include "PrintJobError.h"

#include <QString>

#include <utility>
#include <vector>

namespace tarvolo::platform {

// The few things asked of the CUPS scheduler directly, where Qt's printing keeps the answer to
// itself: whether a queue takes jobs, handing a finished job over with its job number, and
// cancelling a job. Failures are PrintJobErrors naming the queue and CUPS' own reason.
namespace cups {

using JobOptions = std::vector<std::pair<QByteArray, QByteArray>>;

// The system's default queue; empty when none is set or the scheduler cannot be reached.
QString DefaultQueue();
// Throws unless the scheduler answers; queue is the one the caller means to print on.
void CheckScheduler(const QString& queue);
// Throws unless queue exists and accepts jobs.
void CheckQueue(const QString& queue);
// Hands the file to the queue as one job and returns it.
PrintJob Submit(const QString& queue, const QString& file, const QString& title, const JobOptions& options);
// Cancels and purges the job; true when the scheduler did.
bool Cancel(const PrintJob& job);

} // namespace cups

} // namespace tarvolo::platform
