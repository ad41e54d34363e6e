#include "num_value_source.h"

#include "clock.h"
#include "conversions.h"
#include "date_value.h"

double NumValueSource::GetValue() const
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
