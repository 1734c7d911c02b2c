#include "net/uHttpTime.h"

#include <algorithm>
#include <cstring>

namespace {

const int64_t MostQuiet = 24 * 3600;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t Year, int Month, int Day) {
  Year -= Month <= 2;
  int64_t Era = (Year >= 0 ? Year : Year - 399) / 400;
  int64_t YearOfEra = Year - Era * 400;
  int64_t DayOfYear = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
  int64_t DayOfEra = YearOfEra * 365 + YearOfEra / 4 - YearOfEra / 100 + DayOfYear;
  return Era * 146097 + DayOfEra - 719468;
}

// The digits of Text[At, At + Count); -1 when one is no digit.
int Digits(const std::string& Text, size_t At, size_t Count) {
  int Value = 0;
  for (size_t I = At; I < At + Count; ++I) {
    if (I >= Text.size() || Text[I] < '0' || Text[I] > '9') return -1;
    Value = Value * 10 + (Text[I] - '0');
  }
  return Value;
}

bool Combine(int Year, int Month, int Day, int Hour, int Minute, int Second, int64_t& Seconds) {
  static const int MonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Year < 0 || Month < 1 || Month > 12 || Day < 1 || Day > MonthDays[Month - 1] || Hour < 0 || Hour > 23 ||
      Minute < 0 || Minute > 59 || Second < 0 || Second > 60)
    return false;
  Seconds = DaysFromCivil(Year, Month, Day) * 86400 + Hour * 3600 + Minute * 60 + Second;
  return true;
}

}  // namespace

bool UtcTimeSeconds(const std::string& Text, int64_t& Seconds) {
  if (Text.size() != 20 || Text[4] != '-' || Text[7] != '-' || Text[10] != 'T' || Text[13] != ':' ||
      Text[16] != ':' || Text[19] != 'Z')
    return false;
  return Combine(Digits(Text, 0, 4), Digits(Text, 5, 2), Digits(Text, 8, 2), Digits(Text, 11, 2),
                 Digits(Text, 14, 2), Digits(Text, 17, 2), Seconds);
}

std::string UtcTimeText(int64_t Seconds) {
  int64_t Days = Seconds / 86400 - (Seconds % 86400 < 0);
  int64_t Rest = Seconds - Days * 86400;
  // The inverse of DaysFromCivil.
  int64_t Z = Days + 719468;
  int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
  int64_t DayOfEra = Z - Era * 146097;
  int64_t YearOfEra = (DayOfEra - DayOfEra / 1460 + DayOfEra / 36524 - DayOfEra / 146096) / 365;
  int64_t DayOfYear = DayOfEra - (365 * YearOfEra + YearOfEra / 4 - YearOfEra / 100);
  int64_t MonthIndex = (5 * DayOfYear + 2) / 153;
  int Day = static_cast<int>(DayOfYear - (153 * MonthIndex + 2) / 5 + 1);
  int Month = static_cast<int>(MonthIndex < 10 ? MonthIndex + 3 : MonthIndex - 9);
  int64_t Year = YearOfEra + Era * 400 + (Month <= 2);
  char Text[32];
  snprintf(Text, sizeof Text, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(Year), Month, Day,
           static_cast<int>(Rest / 3600), static_cast<int>(Rest / 60 % 60), static_cast<int>(Rest % 60));
  return Text;
}

bool HttpDateSeconds(const std::string& Text, int64_t& Seconds) {
  static const char Months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  // "Www, DD Mon YYYY HH:MM:SS GMT"
  if (Text.size() != 29 || Text.compare(3, 2, ", ") != 0 || Text[7] != ' ' || Text[11] != ' ' || Text[16] != ' ' ||
      Text[19] != ':' || Text[22] != ':' || Text.compare(25, 4, " GMT") != 0)
    return false;
  const char* Month = strstr(Months, Text.substr(8, 3).c_str());
  if (!Month || (Month - Months) % 3 != 0) return false;
  return Combine(Digits(Text, 12, 4), static_cast<int>((Month - Months) / 3 + 1), Digits(Text, 5, 2),
                 Digits(Text, 17, 2), Digits(Text, 20, 2), Digits(Text, 23, 2), Seconds);
}

int64_t RetryAfterUntil(const std::string& Header, int64_t Now) {
  int64_t Until = Now;
  bool Delay = !Header.empty() && Header.size() <= 10 && Header.find_first_not_of("0123456789") == std::string::npos;
  if (Delay) Until = Now + std::stoll(Header);
  else if (!HttpDateSeconds(Header, Until)) Until = Now;
  return std::clamp(Until, Now, Now + MostQuiet);
}
