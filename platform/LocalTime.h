// Local time in one place: now in the local zone, the calendar fields of a std::tm, and the texts
// made of them (the chat's time stamps, the dated folders of received files and saved boards, board
// names, the names of settings files kept aside). Any thread: localtime_r keeps no shared buffer.
#pragma once

#include <ctime>
#include <string>

namespace platform {

// std::tm counts years from 1900 and months from 0.
constexpr int kFirstCalendarYear = 1900;
constexpr int kFirstCalendarMonth = 1;

std::tm localNow();
inline int calendarYear(const std::tm& local) {
    return local.tm_year + kFirstCalendarYear;
}
inline int calendarMonth(const std::tm& local) {
    return local.tm_mon + kFirstCalendarMonth;
}

// "2024-03-07": the year as it is, month and day two digits.
std::string dayText(int year, int month, int day);
std::string dayText(const std::tm& local);
// "20240307<separator>141503": the date and the time of day, each without separators.
std::string stampText(const std::tm& local, char separator);

} // namespace platform
