#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// When and from where a line came.
struct LineDetails {
    std::int64_t arrivalMs = 0; // milliseconds since the Unix epoch
    std::uint32_t address = 0;  // IPv4 address of the sender, host order
    std::uint16_t port = 0;     // the sender's port
};

// The lines between two clears. Lines are appended by one writer and never move or change,
// so a reader that learnt the count under ListLock reads lines [0, count) without the lock.
// Storage is chunked: appending never copies earlier lines, and every allocation has a
// fixed upper size, so the receive thread never stalls on a large list.
class LineGeneration
{
public:
    LineGeneration() = default;
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
    static constexpr std::size_t kLargestBlock = 256 * 1024;

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

    const char *record(std::size_t i) const;

    std::array<Dir *, kTopDirs> m_dirs{};
    Block *m_blocks = nullptr; // newest first
    std::size_t m_size = 0;
    std::size_t m_allocated = 0;
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

private:
    std::shared_ptr<LineGeneration> m_current;
    std::shared_ptr<LineGeneration> m_retired;
    std::size_t m_retiredCount = 0;
    std::uint64_t m_clears = 0;
};
