#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

// When and from where a line came.
struct LineDetails {
    std::int64_t arrivalMs = 0; // milliseconds since the Unix epoch
    std::uint32_t address = 0;  // IPv4 address of the sender, host order
    std::uint16_t port = 0;     // the sender's port
};

// Full-size text blocks kept ready for the receive thread. The first touch of fresh memory
// costs a page fault per 4 KiB, about 10 us each on the virtual machines we measured, which at
// 200k datagrams a second made over 2,000 faults a second on the thread the socket waits for.
// The GUI thread makes blocks ready after each view update and the blocks of cleared lines
// come back here; the receive thread takes one when its block is full and never waits for the
// lock.
class BlockReserve
{
public:
    static constexpr std::size_t kBlockBytes = 256 * 1024;

    BlockReserve();
    ~BlockReserve();
    BlockReserve(const BlockReserve &) = delete;
    BlockReserve &operator=(const BlockReserve &) = delete;

    // A ready block of kBlockBytes, or null when none is ready or another thread is at it.
    void *take();
    // Keeps a block of kBlockBytes that is no longer used, or frees it.
    void give(void *block);
    // GUI thread: makes at most `most` new blocks ready, touching every page, until `ready`
    // are.
    void fill(std::size_t ready, std::size_t most);
    std::size_t readyCount();

private:
    static constexpr std::size_t kKept = 16;
    std::mutex m_mutex;
    std::vector<void *> m_blocks; // never grows beyond kKept, so never reallocates
};

// The lines between two clears. Lines are appended by one writer and never move or change,
// so a reader that learnt the count under ListLock reads lines [0, count) without the lock.
// Storage is chunked: appending never copies earlier lines, and every allocation has a
// fixed upper size, so the receive thread never stalls on a large list.
class LineGeneration
{
public:
    // Full-size text blocks come from reserve and go back to it, when there is one.
    explicit LineGeneration(std::shared_ptr<BlockReserve> reserve = nullptr);
    ~LineGeneration();
    LineGeneration(const LineGeneration &) = delete;
    LineGeneration &operator=(const LineGeneration &) = delete;

    // Writer side. False when the index is full (over 500 million lines). May throw
    // std::bad_alloc, leaving the generation unchanged.
    bool append(std::string_view line, const LineDetails &details);
    std::size_t size() const { return m_size; }

    // Reader side, for i below a count published under ListLock.
    std::string_view text(std::size_t i) const;
    LineDetails details(std::size_t i) const;

    // Bytes allocated for lines and index (for the benchmark's memory figure).
    std::size_t allocatedBytes() const { return m_allocated; }

private:
    friend class LineStore;
    static constexpr std::size_t kPageLines = 1024;
    static constexpr std::size_t kDirPages = 1024;
    static constexpr std::size_t kTopDirs = 512;
    static constexpr std::size_t kHeader = 16; // time 8, address 4, port 2, length 2
    static constexpr std::size_t kFirstBlock = 4096;

    struct Page {
        const char *records[kPageLines];
    };
    struct Dir {
        Page *pages[kDirPages] = {};
    };
    struct Block {
        Block *next;
        std::size_t capacity;
        std::size_t used;
        char *data() { return reinterpret_cast<char *>(this + 1); }
    };
    // A full-size block is one allocation of BlockReserve::kBlockBytes, header included.
    static constexpr std::size_t kLargestBlock = BlockReserve::kBlockBytes - sizeof(Block);

    const char *record(std::size_t i) const;

    std::array<Dir *, kTopDirs> m_dirs{};
    Block *m_blocks = nullptr; // newest first
    std::size_t m_size = 0;
    std::size_t m_allocated = 0;
    std::shared_ptr<BlockReserve> m_reserve;
    std::shared_ptr<LineGeneration> m_retiredNext; // LineStore's chain of cleared generations
};

// The line list: changed only under ListLock (append and clear by the receive thread, clear
// by "Clear"); the GUI thread takes an O(1) snapshot under the lock and reads outside it.
class LineStore
{
public:
    std::size_t count() const { return m_current ? m_current->size() : 0; }
    // The newest line is the selected one; -1 when the list is empty.
    std::ptrdiff_t selectedIndex() const { return static_cast<std::ptrdiff_t>(count()) - 1; }
    bool append(std::string_view line, const LineDetails &details);
    void clear();

    struct Snapshot {
        std::shared_ptr<const LineGeneration> lines; // null while empty
        std::size_t count = 0;
        std::uint64_t clears = 0; // how many clears happened so far
        // Generations cleared since the last snapshot: the caller frees them outside the lock.
        std::shared_ptr<LineGeneration> retired;
    };
    Snapshot snapshot();

    // The blocks ready for appends. Needs no lock: it is the same for the store's life.
    BlockReserve &reserve() const { return *m_reserve; }

private:
    const std::shared_ptr<BlockReserve> m_reserve = std::make_shared<BlockReserve>();
    std::shared_ptr<LineGeneration> m_current;
    std::shared_ptr<LineGeneration> m_retired;
    std::size_t m_retiredCount = 0;
    std::uint64_t m_clears = 0;
};
