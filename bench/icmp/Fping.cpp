#include "icmp/Fping.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <sched.h>
#include <sys/resource.h>

namespace bench {

namespace {

const QString Program = QStringLiteral("/usr/bin/fping");

std::chrono::microseconds childrenCpu()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

QStringList hostArguments(const std::vector<std::string> &hosts)
{
    QStringList arguments;
    for (const std::string &host : hosts)
        arguments << QString::fromStdString(host);
    return arguments;
}

// "10.201.1.7 : 0.045" or "10.201.2.1 : -"; the value is in milliseconds.
void parseSweep(const QString &output, FpingRun &run)
{
    static const QRegularExpression line(QStringLiteral(R"(^(\S+)\s+:\s+(\S+)\s*$)"),
                                         QRegularExpression::MultilineOption);
    for (auto match = line.globalMatch(output); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const std::string host = found.captured(1).toStdString();
        const QString value = found.captured(2);
        bool isNumber = false;
        const double milliseconds = value.toDouble(&isNumber);
        if (!isNumber) {
            run.roundTrips[host] = std::nullopt;
            continue;
        }
        run.roundTrips[host] = std::chrono::microseconds(std::llround(milliseconds * 1000));
    }
}

// "10.202.0.1 : xmt/rcv/%loss = 100/100/0%, min/avg/max = ..."
void parseFlood(const QString &output, FpingRun &run)
{
    static const QRegularExpression totals(QStringLiteral(R"(xmt/rcv/%loss = \d+/(\d+)/)"));
    for (auto match = totals.globalMatch(output); match.hasNext();)
        run.received += match.next().captured(1).toInt();
}

} // namespace

bool Fping::installed()
{
    return QFileInfo(Program).isExecutable();
}

QStringList Fping::sweep(const std::vector<std::string> &hosts, std::chrono::milliseconds interval)
{
    return QStringList{"-C", "1",    "-q", "-t", "4000",
                       "-p", "5000", "-r", "0",  "-b",
                       "56", "-H",   "64", "-i", QString::number(interval.count())} +
           hostArguments(hosts);
}

QStringList Fping::flood(const std::vector<std::string> &hosts, int count)
{
    return QStringList{"-q", "-c", QString::number(count), "-p", "1", "-i", "0", "-t", "1000",
                       "-r", "0"} +
           hostArguments(hosts);
}

Fping::Fping(const QStringList &arguments, int cpu)
{
    if (cpu >= 0) {
        m_process.setChildProcessModifier([cpu] {
            cpu_set_t only;
            CPU_ZERO(&only);
            CPU_SET(cpu, &only);
            ::sched_setaffinity(0, sizeof only, &only);
        });
    }
    m_cpuBefore = childrenCpu();
    m_clock.start();
    m_process.start(Program, arguments);
}

FpingRun Fping::finish()
{
    FpingRun result;
    if (!m_process.waitForFinished(60000)) {
        result.error = m_process.errorString();
        return result;
    }
    result.wall = std::chrono::microseconds(m_clock.nsecsElapsed() / 1000);
    result.cpu = childrenCpu() - m_cpuBefore;
    // 0: all hosts answered, 1: some did not; anything else is a complaint.
    const QString output = QString::fromLocal8Bit(m_process.readAllStandardError());
    if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() > 1) {
        result.error = output.trimmed();
        return result;
    }
    result.ran = true;
    parseSweep(output, result);
    parseFlood(output, result);
    return result;
}

} // namespace bench
