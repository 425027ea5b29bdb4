// Remaining-time estimate for a progress control, as a one-line Portuguese status text.
//
// The estimate is linear: the time measured since the measurement began, divided by the
// steps done, times the steps still to go. The measurement lives in four unit variables
// shared by every call for the whole life of the process.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace UAlgumasFuncoes {

// The controls whose state the estimator can read. The window keeps the numbers of its
// progress bar in a TProgressBar and shows them through its own widget.
class TControl {
 public:
  virtual ~TControl() = default;
};

class TProgressBar : public TControl {
 public:
  std::int32_t Max = 100;
  std::int32_t Min = 0;
  std::int32_t Position = 0;
  std::int32_t Step = 1;

  void StepIt() { Position += Step; }
};

class TGauge : public TControl {
 public:
  std::int32_t MaxValue = 100;
  std::int32_t MinValue = 0;
  std::int32_t Progress = 0;
};

// Floating-point faults of the estimate, with the messages the user is shown.
class EMathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("Invalid floating point operation") {}
};

inline constexpr const char* UndefinedRemainingTime = "Tempo Restante Indefinido";

// The unit state: steps, days, days of the local wall clock, position.
extern double StepsDone;
extern double ElapsedTime;
extern double LastTimestamp;
extern double PreviousPosition;

// Day-based reading of the local wall clock, millisecond resolution.
using TClock = double (*)();
double LocalClock();
// Replaces the clock (tests); nullptr puts the local wall clock back.
void SetClock(TClock Clock);

// Puts the unit back in its state at process start (all four variables 0).
void ResetEstimator();

std::string RemainingTimeText(std::int32_t Max, std::int32_t Min, double Position, double Step);
std::string ProgressRemainingTime(const TControl* Control);

}  // namespace UAlgumasFuncoes
