#pragma once

namespace tk
{

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);
// Days since 30 December 1899 of a proleptic Gregorian date.
double encodeDate(int year, int month, int day);
// The calendar date of the whole day that a date value falls on (time of day ignored,
// rounding toward minus infinity). Values far outside years 1..9999 are clamped there.
CivilDate decodeDate(double value);

} // namespace tk
