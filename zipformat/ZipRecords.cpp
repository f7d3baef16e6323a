// The fixed ZIP records' constructors and MS-DOS time stamps.
#include "zipformat/ZipRecords.h"

#include <cstdint>

namespace zip {

EndOfCentralHeader EndOfCentralHeader::Empty() {
    EndOfCentralHeader record;
    record.SetU32(kSignature, kEndOfCentralSignature);
    return record;
}

DosDateTimeParts SplitDosDateTime(uint32_t dosDateTime) {
    const uint32_t time = dosDateTime & 0xFFFF;
    const uint32_t date = dosDateTime >> 16;
    DosDateTimeParts parts;
    parts.year = 1980 + static_cast<int>(date >> 9);
    parts.month = static_cast<int>((date >> 5) & 0x0F);
    parts.day = static_cast<int>(date & 0x1F);
    parts.hour = static_cast<int>(time >> 11);
    parts.minute = static_cast<int>((time >> 5) & 0x3F);
    parts.second = static_cast<int>((time & 0x1F) * 2);

    static const int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (parts.year % 4 == 0 && parts.year % 100 != 0) || parts.year % 400 == 0;
    const bool dateValid = parts.month >= 1 && parts.month <= 12 && parts.day >= 1 &&
                           parts.day <= kDaysInMonth[parts.month - 1] && (parts.month != 2 || parts.day <= 28 || leap);
    const bool timeValid = parts.hour < 24 && parts.minute < 60 && parts.second < 60;
    parts.valid = dateValid && timeValid;
    return parts;
}

}  // namespace zip
