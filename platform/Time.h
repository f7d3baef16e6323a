// Local wall-clock times, as ZIP entries store them, and setting a file's time of the last change.
#pragma once

#include <string>

namespace platform {

// A wall-clock time in the local time zone, as ZIP entries store it.
struct LocalTime {
    int year = 1980;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool SetFileModified(const std::string& path, const LocalTime& time);

}  // namespace platform
