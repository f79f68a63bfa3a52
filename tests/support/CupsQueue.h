#pragma once

#include <QString>

namespace tarvolo::test {

// A cups-pdf queue of a test's own, for tests that change a queue's state or count its jobs while
// other tests print on the shared one. Removed at the end unless the test removed it first.
class ExtraQueue {
public:
    explicit ExtraQueue(const QString& tag);
    ~ExtraQueue();
    ExtraQueue(const ExtraQueue&) = delete;
    ExtraQueue& operator=(const ExtraQueue&) = delete;

    // False where lpadmin may not make queues; the test is then skipped.
    bool Made() const { return made_; }
    const QString& Name() const { return name_; }
    bool Reject();
    void Remove();
    // The queue's jobs not yet completed, as lpstat lists them.
    QString PendingJobs() const;

private:
    QString name_;
    bool made_ = false;
};

} // namespace tarvolo::test
