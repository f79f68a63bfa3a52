#include "CupsQueue.h"

#include <QCoreApplication>
#include <QProcess>

namespace tarvolo::test {

namespace {

bool Run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

ExtraQueue::ExtraQueue(const QString& tag) : name_(QString("Tarvolo%1%2").arg(tag).arg(QCoreApplication::applicationPid()))
{
    made_ = Run("lpadmin", {"-p", name_, "-E", "-v", "cups-pdf:/", "-P", "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"});
}

ExtraQueue::~ExtraQueue()
{
    if (made_)
        Remove();
}

bool ExtraQueue::Reject()
{
    return Run("cupsreject", {name_});
}

void ExtraQueue::Remove()
{
    made_ = false;
    Run("lpadmin", {"-x", name_});
}

QString ExtraQueue::PendingJobs() const
{
    QString listed;
    Run("lpstat", {"-o", name_}, &listed);
    return listed.trimmed();
}

} // namespace tarvolo::test
