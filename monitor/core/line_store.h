#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
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
//
// Full-size blocks are mapped from the system one by one and unmapped when they go. Taken
// from malloc, they went back to the system after the first "Clear" only: freeing them raised
// malloc's mapping threshold above their size, and from then on they came from (and stayed
// in) its heap.
class BlockReserve
{
public:
    static constexpr std::size_t kBlockBytes = 256 * 1024;

    BlockReserve();
    ~BlockReserve();
    BlockReserve(const BlockReserve &) = delete;
    BlockReserve &operator=(const BlockReserve &) = delete;

    // A new block of kBlockBytes from the system, its pages mapped now when populate is set;
    // null when the system has no memory for it.
    static void *map(bool populate);
    static void unmap(void *block);

    // A ready block of kBlockBytes, or null when none is ready or another thread is at it.
    void *take();
    // Keeps a block of kBlockBytes that is no longer used, or unmaps it.
    void give(void *block);
    // GUI thread: makes at most `most` new blocks ready, every page mapped, until `ready` are
    // (at most kKept).
    void fill(std::size_t ready, std::size_t most);
    std::size_t readyCount();
    // How often a block was asked for since the last call, whether one was ready or not.
    std::size_t takeAskedCount() { return m_asked.exchange(0, std::memory_order_relaxed); }

    static constexpr std::size_t kKept = 16;

private:
    std::atomic<std::size_t> m_asked{0};
    std::mutex m_mutex;
    std::vector<void *> m_blocks; // never grows beyond kKept, so never reallocates
};

// A run of line records: a chain of these, oldest first, holds a generation's text.
struct LineBlock {
    LineBlock *next;
    std::size_t capacity;
    std::size_t used;
    char *data() { return reinterpret_cast<char *>(this + 1); }
};

// Text blocks that a clear let go of. They are freed when this goes, which the receive thread
// lets happen after it released ListLock.
class FreedBlocks
{
public:
    FreedBlocks() = default;
    FreedBlocks(FreedBlocks &&other) noexcept;
    FreedBlocks &operator=(FreedBlocks &&other) noexcept;
    ~FreedBlocks();

private:
    friend class LineStore;
    LineBlock *m_chain = nullptr;
    BlockReserve *m_reserve = nullptr;
};

// The lines between two clears. Lines are appended by one writer and never move or change,
// so a reader that learnt the count under ListLock reads lines [0, count) without the lock.
// Storage is chunked: appending never copies earlier lines, and every allocation has a
// fixed upper size, so the receive thread never stalls on a large list.
class LineGeneration
{
public:
    static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

    // Full-size text blocks come from reserve and go back to it, when there is one.
    explicit LineGeneration(std::shared_ptr<BlockReserve> reserve = nullptr);
    ~LineGeneration();
    LineGeneration(const LineGeneration &) = delete;
    LineGeneration &operator=(const LineGeneration &) = delete;

    // Writer side. False when the index is full (over 500 million lines) or when the line
    // would need new memory that takes allocatedBytes() beyond byteLimit. May throw
    // std::bad_alloc, leaving the generation unchanged.
    bool append(std::string_view line, const LineDetails &details,
                std::size_t byteLimit = kNoLimit);
    std::size_t size() const { return m_size; }

    // Reader side, for i below a count published under ListLock.
    std::string_view text(std::size_t i) const;
    LineDetails details(std::size_t i) const;

    // Bytes allocated for lines and index, including memory kept for reuse.
    std::size_t allocatedBytes() const { return m_allocated; }

private:
    friend class LineStore;
    friend class FreedBlocks;
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
    // A full-size block is one mapping of BlockReserve::kBlockBytes, header included.
    static constexpr std::size_t kLargestBlock = BlockReserve::kBlockBytes - sizeof(LineBlock);

    bool append(std::string_view line, const LineDetails &details, std::size_t byteLimit,
                bool failAllocations);
    // Empties the generation and keeps its memory for the next lines; nobody may be reading
    // it. Blocks that the lines dropped did not need are detached and returned.
    LineBlock *rewind();
    static void freeBlocks(LineBlock *chain, BlockReserve *reserve);
    const char *record(std::size_t i) const;

    std::array<Dir *, kTopDirs> m_dirs{};
    LineBlock *m_first = nullptr; // the text, oldest block first
    LineBlock *m_fill = nullptr;  // the block lines go into; blocks after it wait for reuse
    std::size_t m_size = 0;
    std::size_t m_allocated = 0;
    std::shared_ptr<BlockReserve> m_reserve;
    bool m_published = false; // a snapshot handed it to a reader (LineStore, under ListLock)
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
    // False when the line was not stored: the held lines are at the byte limit (or the index
    // is full). Throws std::bad_alloc when memory runs out, leaving the lines as they were.
    bool append(std::string_view line, const LineDetails &details);
    // "Clear": the lines are handed to the next snapshot, so that the GUI thread frees them
    // outside the lock.
    void clear();
    // The cycle rule's clear. Lines that no reader has seen are dropped in place and their
    // memory carries the next lines, so a clear costs the same at any cycle length and
    // allocates nothing; lines a reader may hold are handed over as by clear(). Only one
    // generation can have been seen since the last snapshot, so with the GUI thread held the
    // memory stays within about two cycles' worth of lines. What the next lines will not need
    // is returned, to be freed after the lock.
    [[nodiscard]] FreedBlocks clearForCycle();

    struct Snapshot {
        std::shared_ptr<const LineGeneration> lines; // null while empty
        std::size_t count = 0;
        std::uint64_t clears = 0; // how many clears happened so far
        // Generations cleared since the last snapshot: the caller frees them outside the lock.
        std::shared_ptr<LineGeneration> retired;
        std::size_t retiredBytes = 0;
    };
    Snapshot snapshot();

    // Memory of the lines held: the current ones and those cleared but not yet handed over.
    std::size_t heldBytes() const;
    // Appends that would need memory beyond this many held bytes are refused.
    void setByteLimit(std::size_t bytes) { m_byteLimit = bytes; }
    std::size_t byteLimit() const { return m_byteLimit; }
    // For tests: while set, every append that needs new memory fails with std::bad_alloc.
    void setFailAllocations(bool fail) { m_failAllocations = fail; }

    // The blocks ready for appends. Needs no lock: it is the same for the store's life.
    BlockReserve &reserve() const { return *m_reserve; }

private:
    const std::shared_ptr<BlockReserve> m_reserve = std::make_shared<BlockReserve>();
    std::shared_ptr<LineGeneration> m_current;
    std::shared_ptr<LineGeneration> m_retired;
    std::size_t m_retiredCount = 0;
    std::size_t m_retiredBytes = 0;
    std::uint64_t m_clears = 0;
    std::size_t m_byteLimit = LineGeneration::kNoLimit;
    bool m_failAllocations = false;
};

// The default limit of held lines: half of the machine's memory, and under an address-space
// limit (ulimit -v) half of the room left in it, so that the window and its message boxes
// still find memory when the lines have taken theirs.
std::size_t defaultHeldBytesLimit();
