#include "num_value_source.h"

#include "clock.h"
#include "conversions.h"
#include "date_value.h"

#include <numedit/exception.h>

#include <limits>
#include <new>

void NumValueSource::publishText(std::string text)
{
    {
        auto fresh = std::make_shared<const std::string>(std::move(text));
        std::lock_guard lock(m_mutex);
        m_text.swap(fresh);
    } // the old text is released after the lock
    refreshValue();
}

void NumValueSource::publishKind(numcore::Kind kind)
{
    m_kind.store(kind, std::memory_order_release);
    refreshValue();
}

double NumValueSource::value() const
{
    const numcore::Kind kind = this->kind();
    const std::shared_ptr<const std::string> snapshot = text();
    return valueOf(kind, *snapshot);
}

double NumValueSource::valueOf(numcore::Kind kind, const std::string &t)
{
    if (t.empty())
        return 0.0;
    switch (kind) {
    case numcore::Kind::Date:
        return tk::strToDate(t, tk::decodeDate(tk::today()).year);
    case numcore::Kind::Int:
        return static_cast<double>(tk::strToInt(t));
    case numcore::Kind::Float:
        return tk::strToFloat(t);
    case numcore::Kind::None:
        break;
    }
    return 0.0;
}

namespace
{

double valueOrNaN(const NumValueSource &source) noexcept
{
    try {
        return source.value();
    } catch (const tk::Exception &) {
    } catch (const std::bad_alloc &) {
    }
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace

void NumValueSource::refreshValue() noexcept
{
    m_value.store(::valueOrNaN(*this), std::memory_order_release);
}

double NumValueSource::valueOrNaN() const noexcept
{
    if (kind() == numcore::Kind::Date)
        return ::valueOrNaN(*this);
    return m_value.load(std::memory_order_acquire);
}
