#include "line_store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

BlockReserve::BlockReserve()
{
    m_blocks.reserve(kKept);
}

BlockReserve::~BlockReserve()
{
    for (void *block : m_blocks)
        unmap(block);
}

void *BlockReserve::map(bool populate)
{
    void *block = ::mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | (populate ? MAP_POPULATE : 0), -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void BlockReserve::unmap(void *block)
{
    ::munmap(block, kBlockBytes);
}

void *BlockReserve::take()
{
    m_asked.fetch_add(1, std::memory_order_relaxed);
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock || m_blocks.empty())
        return nullptr;
    void *block = m_blocks.back();
    m_blocks.pop_back();
    return block;
}

void BlockReserve::give(void *block)
{
    {
        std::unique_lock lock(m_mutex, std::try_to_lock);
        if (lock && m_blocks.size() < kKept) {
            m_blocks.push_back(block);
            return;
        }
    }
    unmap(block);
}

void BlockReserve::fill(std::size_t ready, std::size_t most)
{
    ready = std::min(ready, kKept);
    for (std::size_t made = 0; made < most && readyCount() < ready; ++made) {
        void *block = map(true);
        if (!block)
            return;
        give(block);
    }
}

std::size_t BlockReserve::readyCount()
{
    std::lock_guard lock(m_mutex);
    return m_blocks.size();
}

FreedBlocks::FreedBlocks(FreedBlocks &&other) noexcept
    : m_chain(std::exchange(other.m_chain, nullptr)), m_reserve(other.m_reserve)
{
}

FreedBlocks &FreedBlocks::operator=(FreedBlocks &&other) noexcept
{
    std::swap(m_chain, other.m_chain);
    std::swap(m_reserve, other.m_reserve);
    return *this;
}

FreedBlocks::~FreedBlocks()
{
    if (m_chain)
        LineGeneration::freeBlocks(m_chain, m_reserve);
}

LineGeneration::LineGeneration(std::shared_ptr<BlockReserve> reserve)
    : m_reserve(std::move(reserve))
{
}

LineGeneration::~LineGeneration()
{
    for (Dir *dir : m_dirs) {
        if (!dir)
            continue;
        for (Page *page : dir->pages)
            delete page;
        delete dir;
    }
    freeBlocks(m_first, m_reserve.get());
    // A long chain of retired generations is released one by one, not recursively.
    std::shared_ptr<LineGeneration> next = std::move(m_retiredNext);
    while (next && next.use_count() == 1)
        next = std::move(next->m_retiredNext);
}

void LineGeneration::freeBlocks(LineBlock *chain, BlockReserve *reserve)
{
    while (chain) {
        LineBlock *next = chain->next;
        if (chain->capacity == kLargestBlock) {
            if (reserve)
                reserve->give(chain);
            else
                BlockReserve::unmap(chain);
        } else {
            ::operator delete(chain);
        }
        chain = next;
    }
}

bool LineGeneration::append(std::string_view line, const LineDetails &details,
                            std::size_t byteLimit)
{
    return append(line, details, byteLimit, false);
}

bool LineGeneration::append(std::string_view line, const LineDetails &details,
                            std::size_t byteLimit, bool failAllocations)
{
    const std::size_t i = m_size;
    const std::size_t dirIndex = i / (kPageLines * kDirPages);
    if (dirIndex >= kTopDirs)
        return false;
    const std::size_t pageIndex = i / kPageLines % kDirPages;
    const std::size_t need = kHeader + line.size();

    // What is missing, and what it costs, before anything is allocated.
    const bool needDir = !m_dirs[dirIndex];
    const bool needPage = needDir || !m_dirs[dirIndex]->pages[pageIndex];
    LineBlock *target = m_fill;
    std::size_t capacity = 0;
    if (!target || target->capacity - target->used < need) {
        LineBlock *kept = target ? target->next : nullptr;
        if (kept && kept->capacity >= need) {
            target = kept;
        } else {
            target = nullptr;
            capacity = m_fill ? m_fill->capacity * 2 : kFirstBlock;
            capacity = std::max(std::min(capacity, kLargestBlock), need);
        }
    }
    const std::size_t extra = (needDir ? sizeof(Dir) : 0) + (needPage ? sizeof(Page) : 0) +
                              (target ? 0 : sizeof(LineBlock) + capacity);
    if (extra > 0) {
        if (m_allocated + extra > byteLimit || m_allocated + extra < m_allocated)
            return false;
        if (failAllocations)
            throw std::bad_alloc();
    }

    // Allocate everything first, so that a failure leaves the generation unchanged.
    Dir *newDir = nullptr;
    Page *newPage = nullptr;
    try {
        if (needDir)
            newDir = new Dir;
        if (needPage)
            newPage = new Page;
        if (!target) {
            void *memory = nullptr;
            if (capacity == kLargestBlock) {
                memory = m_reserve ? m_reserve->take() : nullptr;
                if (!memory)
                    memory = BlockReserve::map(false);
                if (!memory)
                    throw std::bad_alloc();
            } else {
                memory = ::operator new(sizeof(LineBlock) + capacity);
            }
            // Linked in after the block being filled, before any kept for reuse.
            target = new (memory) LineBlock{m_fill ? m_fill->next : nullptr, capacity, 0};
        } else if (target != m_fill) {
            target->used = 0; // a kept block, reused from its start
        }
    } catch (...) {
        delete newDir;
        delete newPage;
        throw;
    }
    if (newDir)
        m_dirs[dirIndex] = newDir;
    if (newPage)
        m_dirs[dirIndex]->pages[pageIndex] = newPage;
    if (target != m_fill) {
        if (!m_fill)
            m_first = target;
        else
            m_fill->next = target;
        m_fill = target;
    }
    m_allocated += extra;

    char *rec = m_fill->data() + m_fill->used;
    const std::uint16_t length = static_cast<std::uint16_t>(line.size());
    std::memcpy(rec, &details.arrivalMs, 8);
    std::memcpy(rec + 8, &details.address, 4);
    std::memcpy(rec + 12, &details.port, 2);
    std::memcpy(rec + 14, &length, 2);
    std::memcpy(rec + kHeader, line.data(), line.size());
    m_fill->used += need;
    m_dirs[dirIndex]->pages[pageIndex]->records[i % kPageLines] = rec;
    ++m_size;
    return true;
}

LineBlock *LineGeneration::rewind()
{
    m_size = 0;
    if (!m_fill)
        return nullptr;
    LineBlock *surplus = m_fill->next;
    m_fill->next = nullptr;
    for (LineBlock *b = surplus; b; b = b->next)
        m_allocated -= sizeof(LineBlock) + b->capacity;
    m_fill = m_first;
    m_fill->used = 0;
    return surplus;
}

const char *LineGeneration::record(std::size_t i) const
{
    return m_dirs[i / (kPageLines * kDirPages)]
        ->pages[i / kPageLines % kDirPages]
        ->records[i % kPageLines];
}

std::string_view LineGeneration::text(std::size_t i) const
{
    const char *rec = record(i);
    std::uint16_t length;
    std::memcpy(&length, rec + 14, 2);
    return {rec + kHeader, length};
}

LineDetails LineGeneration::details(std::size_t i) const
{
    const char *rec = record(i);
    LineDetails d;
    std::memcpy(&d.arrivalMs, rec, 8);
    std::memcpy(&d.address, rec + 8, 4);
    std::memcpy(&d.port, rec + 12, 2);
    return d;
}

bool LineStore::append(std::string_view line, const LineDetails &details)
{
    if (!m_current) {
        if (m_failAllocations)
            throw std::bad_alloc();
        m_current = std::make_shared<LineGeneration>(m_reserve);
    }
    const std::size_t budget = m_byteLimit > m_retiredBytes ? m_byteLimit - m_retiredBytes : 0;
    return m_current->append(line, details, budget, m_failAllocations);
}

void LineStore::clear()
{
    ++m_clears;
    if (!m_current)
        return;
    // The GUI thread may still read the old lines: hand them over instead of freeing them
    // here, under the lock.
    m_retiredBytes += m_current->allocatedBytes();
    m_current->m_retiredNext = std::move(m_retired);
    m_retired = std::move(m_current);
    // Only a store that nobody takes snapshots of gathers more than a few: let the oldest go.
    if (++m_retiredCount > 64) {
        m_retired.reset();
        m_retiredCount = 0;
        m_retiredBytes = 0;
    }
}

FreedBlocks LineStore::clearForCycle()
{
    FreedBlocks freed;
    if (m_current && !m_current->m_published) {
        ++m_clears;
        freed.m_reserve = m_reserve.get();
        freed.m_chain = m_current->rewind();
    } else {
        clear();
    }
    return freed;
}

LineStore::Snapshot LineStore::snapshot()
{
    Snapshot s;
    s.lines = m_current;
    s.count = count();
    s.clears = m_clears;
    s.retired = std::move(m_retired);
    s.retiredBytes = m_retiredBytes;
    m_retiredCount = 0;
    m_retiredBytes = 0;
    if (m_current)
        m_current->m_published = true;
    return s;
}

std::size_t LineStore::heldBytes() const
{
    return (m_current ? m_current->allocatedBytes() : 0) + m_retiredBytes;
}

std::size_t defaultHeldBytesLimit()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    std::size_t limit = pages > 0 && pageSize > 0 ? std::size_t(pages) / 2 * std::size_t(pageSize)
                                                  : std::size_t(1) << 30;
    rlimit space{};
    if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) {
        // The process's size now, from the first field of /proc/self/statm, in pages.
        unsigned long used = 0;
        if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &used) != 1)
                used = 0;
            std::fclose(statm);
        }
        const std::size_t usedBytes = used * std::size_t(pageSize > 0 ? pageSize : 4096);
        const std::size_t cap = std::size_t(space.rlim_cur);
        limit = std::min(limit, cap > usedBytes ? (cap - usedBytes) / 2 : 0);
    }
    return limit;
}
