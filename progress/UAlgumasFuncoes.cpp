#include "UAlgumasFuncoes.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <time.h>
#endif

namespace UAlgumasFuncoes {

double StepsDone = 0;
double ElapsedTime = 0;
double LastTimestamp = 0;
double PreviousPosition = 0;

namespace {

constexpr double MillisecondsPerDay = 86400000.0;
constexpr std::int64_t MillisecondsPerDayInt = 86400000;
// Remaining times of 2^32 days or more are not split into minutes and seconds.
constexpr double LargestSplitMilliseconds = 4294967296.0 * MillisecondsPerDay;

TClock CurrentClock = &LocalClock;

// The local date and time of day, as the system hands it out.
struct TLocalTime {
  int Year;
  unsigned Month;
  unsigned Day;
  int Hour;
  int Minute;
  int Second;
  int Millisecond;
};

#ifdef _WIN32

TLocalTime ReadLocalTime() {
  SYSTEMTIME Now;
  GetLocalTime(&Now);
  return {Now.wYear, Now.wMonth, Now.wDay, Now.wHour, Now.wMinute, Now.wSecond, Now.wMilliseconds};
}

#else

// The broken-down local time is cached per epoch second: the zone conversion runs once per
// second at most, and a change of the zone's offset still shows at the next second.
TLocalTime ReadLocalTime() {
  thread_local time_t CachedSecond = -1;
  thread_local TLocalTime Cached{1899, 12, 30, 0, 0, 0, 0};

  timespec Now{};
  clock_gettime(CLOCK_REALTIME, &Now);
  if (Now.tv_sec != CachedSecond) {
    tm Local{};
    if (localtime_r(&Now.tv_sec, &Local) != nullptr) {
      Cached = {Local.tm_year + 1900, static_cast<unsigned>(Local.tm_mon + 1),
                static_cast<unsigned>(Local.tm_mday), Local.tm_hour, Local.tm_min,
                // A leap second reads as the last second of its minute.
                Local.tm_sec > 59 ? 59 : Local.tm_sec, 0};
      CachedSecond = Now.tv_sec;
    }
  }
  TLocalTime Result = Cached;
  Result.Millisecond = static_cast<int>(Now.tv_nsec / 1000000);
  return Result;
}

#endif

// Whole days since 1899-12-30.
std::int64_t DayNumber(int Year, unsigned Month, unsigned Day) {
  using namespace std::chrono;
  constexpr sys_days Epoch = year{1899} / December / 30;
  const sys_days Date = year{Year} / month{Month} / day{Day};
  return (Date - Epoch).count();
}

[[noreturn]] void DivisionFault(double Dividend) {
  if (Dividend == 0 || std::isnan(Dividend)) throw EInvalidOp();
  throw EZeroDivide();
}

double Divide(double Dividend, double Divisor) {
  if (Divisor == 0) DivisionFault(Dividend);
  return Dividend / Divisor;
}

// Nearest whole number, a value exactly halfway going to the even neighbour; independent of
// the floating-point rounding mode.
double RoundHalfEven(double Value) {
  const double Lower = std::floor(Value);
  const double Fraction = Value - Lower;
  if (Fraction < 0.5) return Lower;
  if (Fraction > 0.5) return Lower + 1;
  return std::fmod(Lower, 2.0) == 0 ? Lower : Lower + 1;
}

void AppendNumber(std::string& Text, std::int64_t Number) {
  char Digits[24];
  const auto Result = std::to_chars(Digits, Digits + sizeof Digits, Number);
  Text.append(Digits, Result.ptr);
}

// The remaining time (days) as minutes and seconds of its magnitude, whole days dropped.
std::string SplitRemainingTime(double Remaining) {
  const double Milliseconds = std::fabs(RoundHalfEven(Remaining * MillisecondsPerDay));
  if (!(Milliseconds < LargestSplitMilliseconds)) return UndefinedRemainingTime;
  const std::int64_t InDay = static_cast<std::int64_t>(Milliseconds) % MillisecondsPerDayInt;
  std::string Text;
  Text.reserve(48);
  AppendNumber(Text, InDay / 60000);
  Text += " Minuto(s) ";
  AppendNumber(Text, InDay % 60000 / 1000);
  Text += " Segundo(s) Restante(s)";
  return Text;
}

}  // namespace

double LocalClock() {
  const TLocalTime Now = ReadLocalTime();
  const double TimeOfDay =
      (Now.Hour * 3600000 + Now.Minute * 60000 + Now.Second * 1000 + Now.Millisecond) /
      MillisecondsPerDay;
  return static_cast<double>(DayNumber(Now.Year, Now.Month, Now.Day)) + TimeOfDay;
}

void SetClock(TClock Clock) { CurrentClock = Clock != nullptr ? Clock : &LocalClock; }

void ResetEstimator() {
  StepsDone = 0;
  ElapsedTime = 0;
  LastTimestamp = 0;
  PreviousPosition = 0;
}

std::string RemainingTimeText(std::int32_t Max, std::int32_t Min, double Position, double Step) {
  std::string Text;
  if (Position == static_cast<double>(Min) || Position < PreviousPosition ||
      PreviousPosition == 0) {
    ElapsedTime = 0;
    LastTimestamp = CurrentClock();
    Text = UndefinedRemainingTime;
  } else {
    StepsDone = Divide(Position, Step);
    ElapsedTime = (CurrentClock() - LastTimestamp) + ElapsedTime;
    LastTimestamp = CurrentClock();
    const double Remaining =
        Divide(ElapsedTime, StepsDone) * (static_cast<double>(Max) / Step - StepsDone);
    Text = SplitRemainingTime(Remaining);
  }
  PreviousPosition = Position;
  return Text;
}

std::string ProgressRemainingTime(const TControl* Control) {
  std::int32_t Max = 0;
  std::int32_t Min = 0;
  double Position = 0;
  double Step = 0;
  if (const auto* Bar = dynamic_cast<const TProgressBar*>(Control)) {
    Position = Bar->Position;
    Step = Bar->Step;
    Max = Bar->Max;
    Min = Bar->Min;
  }
  if (const auto* Gauge = dynamic_cast<const TGauge*>(Control)) {
    Position = Gauge->Progress;
    Step = 1;
    Max = Gauge->MaxValue;
    Min = Gauge->MinValue;
  }
  return RemainingTimeText(Max, Min, Position, Step);
}

}  // namespace UAlgumasFuncoes
