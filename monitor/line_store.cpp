#include "line_store.h"

#include <cstring>
#include <new>

BlockReserve::BlockReserve()
{
    m_blocks.reserve(kKept);
}

BlockReserve::~BlockReserve()
{
    for (void *block : m_blocks)
        ::operator delete(block);
}

void *BlockReserve::take()
{
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
    ::operator delete(block);
}

void BlockReserve::fill(std::size_t ready, std::size_t most)
{
    for (std::size_t made = 0; made < most && readyCount() < ready; ++made) {
        void *block = ::operator new(kBlockBytes, std::nothrow);
        if (!block)
            return;
        // Writing one byte of every page maps it now, on this thread.
        for (std::size_t at = 0; at < kBlockBytes; at += 4096)
            static_cast<volatile char *>(block)[at] = 0;
        give(block);
    }
}

std::size_t BlockReserve::readyCount()
{
    std::lock_guard lock(m_mutex);
    return m_blocks.size();
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
    for (Block *b = m_blocks; b;) {
        Block *next = b->next;
        if (m_reserve && b->capacity == kLargestBlock)
            m_reserve->give(b);
        else
            ::operator delete(b);
        b = next;
    }
    // A long chain of retired generations is released one by one, not recursively.
    std::shared_ptr<LineGeneration> next = std::move(m_retiredNext);
    while (next && next.use_count() == 1)
        next = std::move(next->m_retiredNext);
}

bool LineGeneration::append(std::string_view line, const LineDetails &details)
{
    const std::size_t i = m_size;
    const std::size_t dirIndex = i / (kPageLines * kDirPages);
    if (dirIndex >= kTopDirs)
        return false;
    const std::size_t pageIndex = i / kPageLines % kDirPages;
    const std::size_t need = kHeader + line.size();

    // Allocate everything first, so that a failure leaves the generation unchanged.
    Dir *newDir = nullptr;
    Page *newPage = nullptr;
    Block *newBlock = nullptr;
    try {
        if (!m_dirs[dirIndex])
            newDir = new Dir;
        Dir *dir = newDir ? newDir : m_dirs[dirIndex];
        if (!dir->pages[pageIndex])
            newPage = new Page;
        if (!m_blocks || m_blocks->capacity - m_blocks->used < need) {
            std::size_t capacity = m_blocks ? m_blocks->capacity * 2 : kFirstBlock;
            if (capacity > kLargestBlock)
                capacity = kLargestBlock;
            if (capacity < need)
                capacity = need;
            void *memory = capacity == kLargestBlock && m_reserve ? m_reserve->take() : nullptr;
            if (!memory)
                memory = ::operator new(sizeof(Block) + capacity);
            newBlock = new (memory) Block{m_blocks, capacity, 0};
        }
    } catch (...) {
        delete newDir;
        delete newPage;
        throw;
    }
    if (newDir) {
        m_dirs[dirIndex] = newDir;
        m_allocated += sizeof(Dir);
    }
    if (newPage) {
        m_dirs[dirIndex]->pages[pageIndex] = newPage;
        m_allocated += sizeof(Page);
    }
    if (newBlock) {
        m_blocks = newBlock;
        m_allocated += sizeof(Block) + newBlock->capacity;
    }

    char *rec = m_blocks->data() + m_blocks->used;
    const std::uint16_t length = static_cast<std::uint16_t>(line.size());
    std::memcpy(rec, &details.arrivalMs, 8);
    std::memcpy(rec + 8, &details.address, 4);
    std::memcpy(rec + 12, &details.port, 2);
    std::memcpy(rec + 14, &length, 2);
    std::memcpy(rec + kHeader, line.data(), line.size());
    m_blocks->used += need;
    m_dirs[dirIndex]->pages[pageIndex]->records[i % kPageLines] = rec;
    ++m_size;
    return true;
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
    if (!m_current)
        m_current = std::make_shared<LineGeneration>(m_reserve);
    return m_current->append(line, details);
}

void LineStore::clear()
{
    ++m_clears;
    if (!m_current)
        return;
    // The GUI thread may still read the old lines: hand them over instead of freeing them
    // here, under the lock.
    m_current->m_retiredNext = std::move(m_retired);
    m_retired = std::move(m_current);
    // Without a reader taking snapshots the chain would grow without end.
    if (++m_retiredCount > 64) {
        m_retired.reset();
        m_retiredCount = 0;
    }
}

LineStore::Snapshot LineStore::snapshot()
{
    Snapshot s;
    s.lines = m_current;
    s.count = count();
    s.clears = m_clears;
    s.retired = std::move(m_retired);
    m_retiredCount = 0;
    return s;
}
