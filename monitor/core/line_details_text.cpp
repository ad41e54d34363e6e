#include "line_details_text.h"

#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace
{

void appendNumber(QByteArray &out, unsigned value)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

// Whole seconds rounded down, also before 1970, and the milliseconds into that second.
std::int64_t secondOf(std::int64_t ms)
{
    return ms >= 0 ? ms / 1000 : -((-(ms + 1)) / 1000) - 1;
}

} // namespace

void appendSender(QByteArray &out, const LineDetails &details)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        appendNumber(out, (details.address >> shift) & 0xFF);
        out.append(shift ? '.' : ':');
    }
    appendNumber(out, details.port);
}

QString senderText(const LineDetails &details)
{
    QByteArray text;
    appendSender(text, details);
    return QString::fromLatin1(text);
}

QString arrivalClockText(std::int64_t arrivalMs)
{
    return QDateTime::fromMSecsSinceEpoch(arrivalMs).time().toString(
        QStringLiteral("HH:mm:ss.zzz"));
}

void IsoArrivalTime::append(QByteArray &out, std::int64_t arrivalMs)
{
    const std::int64_t second = secondOf(arrivalMs);
    if (!m_known || second != m_second) {
        // Offsets change only at whole seconds, so one lookup serves the whole second.
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(second * 1000, Qt::LocalTime);
        const QDate date = local.date();
        const QTime time = local.time();
        const int written = std::snprintf(
            m_secondText, sizeof m_secondText, "%04d-%02d-%02dT%02d:%02d:%02d", date.year(),
            date.month(), date.day(), time.hour(), time.minute(), time.second());
        m_secondSize = written > 0 ? std::min<std::size_t>(written, sizeof m_secondText - 1) : 0;
        const int offset = local.offsetFromUtc();
        const int minutes = std::abs(offset) / 60;
        std::snprintf(m_offsetText, sizeof m_offsetText, "%c%02d:%02d", offset < 0 ? '-' : '+',
                      minutes / 60 % 100, minutes % 60);
        m_second = second;
        m_known = true;
    }
    const int ms = static_cast<int>(arrivalMs - second * 1000);
    const char fraction[4] = {'.', char('0' + ms / 100), char('0' + ms / 10 % 10),
                              char('0' + ms % 10)};
    out.append(m_secondText, static_cast<qsizetype>(m_secondSize));
    out.append(fraction, 4);
    out.append(m_offsetText);
}

QString IsoArrivalTime::text(std::int64_t arrivalMs)
{
    QByteArray text;
    append(text, arrivalMs);
    return QString::fromLatin1(text);
}
