#pragma once

#include "line_store.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// A line's sender and arrival time as text, for the list, the tooltip and saved files.

// "192.168.1.20:5000". The one place that knows the form of an address.
void appendSender(QByteArray &out, const LineDetails &details);
QString senderText(const LineDetails &details);

// "14:03:07.123", local time: the arrival time shown in a row.
QString arrivalClockText(std::int64_t arrivalMs);

// ISO 8601 local time with milliseconds and the offset from UTC in force then:
// "2024-05-01T14:03:07.123+02:00". Remembers the last second it looked up, since the time
// zone lookup costs far more than the text and lines come many a second.
class IsoArrivalTime
{
public:
    void append(QByteArray &out, std::int64_t arrivalMs);
    QString text(std::int64_t arrivalMs);

private:
    std::int64_t m_second = 0;
    bool m_known = false;
    char m_secondText[32] = {}; // date and time to the second
    char m_offsetText[8] = {};  // "+02:00"
    std::size_t m_secondSize = 0;
};
