#pragma once

// Clocks, process figures and the event loop, as the benchmark measures them.

#include <QTimer>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace ingest
{

std::uint64_t monoNs();
double cpuSeconds(clockid_t clock);
// The value below which a share p (0 to 1) of the values lie; 0 for none.
double percentile(std::vector<double> v, double p);

// Other work on the machine shows in the figures: the 1, 5 and 15 minute load averages.
std::string loadAverage();
// Minor page faults of the whole process so far: each first touch of a fresh page costs
// about 10 us on this kind of virtual machine.
long minorFaults();
long rssKiB();

// Runs the event loop until done() holds, checking every few ms; false after the timeout.
bool spinUntil(const std::function<bool()> &done, int timeoutMs);
// Runs the event loop for a while with no timer of its own, so idle stays idle.
void spinFor(int ms);

// Measures the 10 ms timer's lateness on the GUI thread.
class LatenessProbe
{
public:
    LatenessProbe();
    void start();
    std::vector<double> stop();

private:
    QTimer m_timer;
    std::uint64_t m_last = 0;
    std::vector<double> m_samples;
};

} // namespace ingest
