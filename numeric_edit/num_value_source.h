#pragma once

#include "num_core.h"

#include <atomic>
#include <memory>
#include <string>

// The part of a TNumEdit that another thread may read: its text and kind, published on
// every change without a lock, so a reader sees the text before or after a change and never
// waits for the GUI thread. It outlives the widget for as long as a reader holds it.
class NumValueSource
{
public:
    void publishText(std::string text)
    {
        m_text.store(std::make_shared<const std::string>(std::move(text)),
                     std::memory_order_release);
    }
    void publishKind(numcore::Kind kind) { m_kind.store(kind, std::memory_order_release); }

    std::shared_ptr<const std::string> text() const
    {
        return m_text.load(std::memory_order_acquire);
    }
    numcore::Kind kind() const { return m_kind.load(std::memory_order_acquire); }

    // The text read as the kind says; 0 for an empty text and for the kind None. Throws
    // tk::EConvertError for a text that is not a number of the kind.
    double GetValue() const;

private:
    std::atomic<std::shared_ptr<const std::string>> m_text{std::make_shared<const std::string>()};
    std::atomic<numcore::Kind> m_kind{numcore::Kind::None};
};
