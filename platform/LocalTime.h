// Local time in one place: now in the local zone, the calendar fields of a std::tm, and the texts
// made of them (the chat's time stamps, the dated folders of received files and saved boards, board
// names, the names of settings files kept aside). Any thread: localtime_r keeps no shared buffer.
#pragma once

#include <algorithm>
#include <ctime>
#include <string>

namespace platform {

// std::tm counts years from 1900 and months from 0.
constexpr int kFirstCalendarYear = 1900;
constexpr int kFirstCalendarMonth = 1;
constexpr int kMonthsInYear = 12;

std::tm localNow();
// A std::tm may come from a calendar that hands back anything: the year is widened before the epoch
// year is added and the month is kept to the calendar's, so neither can overflow.
inline long long calendarYear(const std::tm& local) {
    return static_cast<long long>(local.tm_year) + kFirstCalendarYear;
}
inline int calendarMonth(const std::tm& local) {
    return std::clamp(local.tm_mon, 0, kMonthsInYear - 1) + kFirstCalendarMonth;
}

// "2024-03-07": the year as it is, month and day two digits.
std::string dayText(long long year, int month, int day);
std::string dayText(const std::tm& local);
// "20240307<separator>141503": the date and the time of day, each without separators.
std::string stampText(const std::tm& local, char separator);

} // namespace platform
