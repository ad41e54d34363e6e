#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// The flags word that the GUI thread and the receive thread share. Every change of a bit is
// one atomic read-modify-write, so neither thread loses the other's change to another bit.
// ReceiverShared owns the program's flags and alone takes its ListLock; the benchmark's bare
// receive loop has a word of its own to lock the same way.
class ListenerFlags
{
public:
    static constexpr std::uint32_t Running = 1;     // a receive thread runs
    static constexpr std::uint32_t ListLock = 2;    // one thread is changing the line list
    static constexpr std::uint32_t StopRequest = 4; // the receive thread is to stop

    void set(std::uint32_t bits) { m_bits.fetch_or(bits, std::memory_order_acq_rel); }
    void clear(std::uint32_t bits) { m_bits.fetch_and(~bits, std::memory_order_acq_rel); }
    bool test(std::uint32_t bits) const { return m_bits.load(std::memory_order_acquire) & bits; }
    std::uint32_t load() const { return m_bits.load(std::memory_order_acquire); }

    // ListLock: test-and-set until the bit was clear before. Holders do O(1) work, so the
    // wait is short; yielding keeps a preempted holder from being starved on two cores.
    void lockList()
    {
        for (unsigned spins = 0; m_bits.fetch_or(ListLock, std::memory_order_acquire) & ListLock;
             ++spins)
            if (spins > 64)
                std::this_thread::yield();
    }
    void unlockList() { m_bits.fetch_and(~ListLock, std::memory_order_release); }

private:
    std::atomic<std::uint32_t> m_bits{0};
};

class ListLockGuard
{
public:
    explicit ListLockGuard(ListenerFlags &flags) : m_flags(flags) { m_flags.lockList(); }
    ~ListLockGuard() { m_flags.unlockList(); }
    ListLockGuard(const ListLockGuard &) = delete;
    ListLockGuard &operator=(const ListLockGuard &) = delete;

private:
    ListenerFlags &m_flags;
};
