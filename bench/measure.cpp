#include "measure.h"

#include <QElapsedTimer>
#include <QEventLoop>

#include <algorithm>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace ingest
{

std::uint64_t monoNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000000000u + std::uint64_t(ts.tv_nsec);
}

double cpuSeconds(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::size_t(p * double(v.size() - 1) + 0.5)];
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

long minorFaults()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

long rssKiB()
{
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    tick.start();
    if (!done())
        loop.exec();
    return done();
}

void spinFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

LatenessProbe::LatenessProbe()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const std::uint64_t now = monoNs();
        if (m_last)
            m_samples.push_back(std::max(0.0, double(now - m_last) / 1e6 - 10.0));
        m_last = now;
    });
}

void LatenessProbe::start()
{
    m_samples.clear();
    m_last = 0;
    m_timer.start();
}

std::vector<double> LatenessProbe::stop()
{
    m_timer.stop();
    return std::move(m_samples);
}

} // namespace ingest
