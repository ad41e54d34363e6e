#pragma once

#include "num_core.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

// The part of a TNumEdit that another thread may read: its text and kind, published on
// every change, so a reader sees the text before or after a change and never waits for the
// GUI thread to do anything but swap a pointer. It outlives the widget for as long as a
// reader holds it.
class NumValueSource
{
public:
    void publishText(std::string text);
    void publishKind(numcore::Kind kind);

    std::shared_ptr<const std::string> text() const
    {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    numcore::Kind kind() const { return m_kind.load(std::memory_order_acquire); }

    // The published text read as the published kind says (see valueOf).
    double value() const;

    // A text read as the kind says; 0 for an empty text and for the kind None. Throws
    // tk::EConvertError for a text that is not a number of the kind.
    static double valueOf(numcore::Kind kind, const std::string &text);

    // The same value without an exception: NaN for a text that is not a number of the kind.
    // Read once for every datagram, so the text is converted when it is published, not here;
    // a date is read afresh, since its value depends on today's date.
    double valueOrNaN() const noexcept;

private:
    void refreshValue() noexcept;

    // Held only to copy or swap the pointer, never while waiting for anything else, so the
    // receive thread, which reads under ListLock, waits at most for one swap. Not
    // std::atomic<std::shared_ptr>: libstdc++ 12 releases its inner lock in load() with
    // relaxed order, so a load races with the next store (ThreadSanitizer shows it).
    mutable std::mutex m_mutex;
    std::shared_ptr<const std::string> m_text = std::make_shared<const std::string>();
    std::atomic<numcore::Kind> m_kind{numcore::Kind::None};
    std::atomic<double> m_value{0.0};
};
