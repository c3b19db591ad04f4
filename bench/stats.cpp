#include "bench.h"

#include <QDir>
#include <QFile>

#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace bench {

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

std::vector<std::vector<double>> roundRobin(int rounds,
                                            const std::vector<std::function<double()>> &cases)
{
    std::vector<std::vector<double>> samples(cases.size());
    for (int round = 0; round <= rounds; ++round) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const double value = cases[i]();
            if (round > 0) // round 0 warms caches and lazily built state
                samples[i].push_back(value);
        }
    }
    return samples;
}

double minimum(std::vector<double> samples)
{
    return samples.empty() ? 0 : *std::min_element(samples.begin(), samples.end());
}

double median(std::vector<double> samples)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

void report(const QString &key, double value)
{
    std::printf("%s\t%.6f\n", qPrintable(key), value);
    std::fflush(stdout);
}

void reportAll(const QString &key, const std::vector<double> &values)
{
    for (double v : values)
        report(key, v);
}

QStringList childProcesses(const QString &of)
{
    QStringList pids;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(of));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (children.open(QIODevice::ReadOnly))
            pids += QString::fromLatin1(children.readAll()).split(u' ', Qt::SkipEmptyParts);
    }
    return pids;
}

} // namespace bench
