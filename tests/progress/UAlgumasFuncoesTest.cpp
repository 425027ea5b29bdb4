#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "UAlgumasFuncoes.h"

using namespace UAlgumasFuncoes;

namespace {

constexpr double Second = 1.0 / 86400;

// The fake clock: every reading returns FakeNow and then moves it on by FakeTick.
double FakeNow = 0;
double FakeTick = 0;
int FakeReadings = 0;

double FakeClock() {
  const double Now = FakeNow;
  FakeNow += FakeTick;
  ++FakeReadings;
  return Now;
}

std::string Remaining(int Minutes, int Seconds) {
  return std::to_string(Minutes) + " Minuto(s) " + std::to_string(Seconds) +
         " Segundo(s) Restante(s)";
}

class TEstimatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetEstimator();
    FakeNow = 0;
    FakeTick = 0;
    FakeReadings = 0;
    SetClock(&FakeClock);
  }
  void TearDown() override {
    SetClock(nullptr);
    ResetEstimator();
  }
};

class TOtherControl : public TControl {};
class TDerivedGauge : public TGauge {};

TEST_F(TEstimatorTest, FiveRecordRunWithThirtySecondsPerRecord) {
  TProgressBar Bar;
  Bar.Max = 5;
  FakeNow = 45000.25;
  const std::vector<std::string> Expected = {UndefinedRemainingTime, Remaining(0, 45),
                                             Remaining(0, 40), Remaining(0, 22), Remaining(0, 0)};
  for (const std::string& Text : Expected) {
    Bar.StepIt();
    EXPECT_EQ(ProgressRemainingTime(&Bar), Text) << "position " << Bar.Position;
    FakeNow += 30 * Second;
  }
  EXPECT_EQ(PreviousPosition, 5);
  EXPECT_EQ(StepsDone, 5);
}

TEST_F(TEstimatorTest, RunAfterOneRecordRunContinuesTheMeasurement) {
  TProgressBar Bar;
  Bar.Max = 1;
  Bar.StepIt();
  EXPECT_EQ(ProgressRemainingTime(&Bar), UndefinedRemainingTime);

  // The clean-up of the first run, then the first record of the next one.
  Bar.Position = 0;
  Bar.Max = 5;
  FakeNow += 630 * Second;
  Bar.StepIt();
  EXPECT_EQ(ProgressRemainingTime(&Bar), Remaining(42, 0));
}

TEST_F(TEstimatorTest, RunAfterLongerRunRestarts) {
  TProgressBar Bar;
  Bar.Max = 2;
  for (int Record = 0; Record < 2; ++Record) {
    Bar.StepIt();
    ProgressRemainingTime(&Bar);
    FakeNow += 10 * Second;
  }
  Bar.Position = 0;
  Bar.StepIt();
  EXPECT_EQ(ProgressRemainingTime(&Bar), UndefinedRemainingTime);
  EXPECT_EQ(ElapsedTime, 0);
}

struct TRestartCase {
  const char* Name;
  std::int32_t Min;
  double Position;
  double Step;
  double Previous;
  bool Restarts;
};
void PrintTo(const TRestartCase& Case, std::ostream* Out) { *Out << Case.Name; }

class TRestartTest : public TEstimatorTest, public ::testing::WithParamInterface<TRestartCase> {};

TEST_P(TRestartTest, RestartsOrEstimates) {
  const TRestartCase& Case = GetParam();
  StepsDone = 7;
  ElapsedTime = 100 * Second;
  LastTimestamp = 990 * Second;
  PreviousPosition = Case.Previous;
  FakeNow = 1000 * Second;

  const std::string Text = RemainingTimeText(10, Case.Min, Case.Position, Case.Step);

  EXPECT_EQ(PreviousPosition, Case.Position);
  if (Case.Restarts) {
    EXPECT_EQ(Text, UndefinedRemainingTime);
    EXPECT_EQ(ElapsedTime, 0);
    EXPECT_EQ(LastTimestamp, 1000 * Second);
    EXPECT_EQ(StepsDone, 7);
    EXPECT_EQ(FakeReadings, 1);
  } else {
    EXPECT_NE(Text, UndefinedRemainingTime);
    EXPECT_DOUBLE_EQ(ElapsedTime, 110 * Second);
    EXPECT_EQ(StepsDone, Case.Position / Case.Step);
    EXPECT_EQ(FakeReadings, 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, TRestartTest,
                         ::testing::Values(TRestartCase{"PositionAtMin", 3, 3, 1, 2, true},
                                           TRestartCase{"PositionAtNegativeMin", -4, -4, 1, -5,
                                                        true},
                                           TRestartCase{"PositionGoneBack", 0, 3, 1, 4, true},
                                           TRestartCase{"PositionGoneBackByOneUlp", 0,
                                                        std::nextafter(4.0, 0.0), 1, 4, true},
                                           TRestartCase{"NoPreviousPosition", 0, 3, 1, 0, true},
                                           TRestartCase{"RestartNeedsNoStep", 0, 3, 0, 0, true},
                                           TRestartCase{"SamePosition", 0, 4, 1, 4, false},
                                           TRestartCase{"JustAboveMin", 0, 1e-9, 1, 1e-9, false},
                                           TRestartCase{"ForwardBelowZero", -5, -2, 1, -3, false},
                                           TRestartCase{"StepScalesStepsDone", 0, 6, 2, 4, false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(TEstimatorTest, PositionZeroLeavesNoPreviousPosition) {
  const struct {
    double Position;
    bool Restarts;
  } Calls[] = {{0, true}, {0, true}, {1, true}, {2, false}};
  for (const auto& Call : Calls) {
    FakeNow += 5 * Second;
    const bool Restarted = RemainingTimeText(10, -5, Call.Position, 1) == UndefinedRemainingTime;
    EXPECT_EQ(Restarted, Call.Restarts) << "position " << Call.Position;
  }
}

TEST_F(TEstimatorTest, UnrecognisedControlRestartsAndForgetsThePosition) {
  TOtherControl Other;
  for (const TControl* Control :
       {static_cast<const TControl*>(nullptr), static_cast<const TControl*>(&Other)}) {
    RemainingTimeText(10, 0, 1, 1);
    FakeNow += 5 * Second;
    RemainingTimeText(10, 0, 2, 1);
    ASSERT_GT(ElapsedTime, 0);

    EXPECT_EQ(ProgressRemainingTime(Control), UndefinedRemainingTime);
    EXPECT_EQ(PreviousPosition, 0);
    EXPECT_EQ(ElapsedTime, 0);
    EXPECT_EQ(RemainingTimeText(10, 0, 3, 1), UndefinedRemainingTime);
  }
}

TEST_F(TEstimatorTest, GaugeStepsByOne) {
  TDerivedGauge Gauge;  // a derived class counts as a gauge
  Gauge.MinValue = 0;
  Gauge.MaxValue = 8;
  Gauge.Progress = 2;
  EXPECT_EQ(ProgressRemainingTime(&Gauge), UndefinedRemainingTime);
  FakeNow += 10 * Second;
  Gauge.Progress = 4;
  EXPECT_EQ(ProgressRemainingTime(&Gauge), Remaining(0, 10));
  EXPECT_EQ(StepsDone, 4);
}

TEST_F(TEstimatorTest, ProgressBarStepScalesBothCounts) {
  TProgressBar Bar;
  Bar.Max = 20;
  Bar.Step = 2;
  Bar.Position = 2;
  ProgressRemainingTime(&Bar);
  FakeNow += 10 * Second;
  Bar.Position = 4;
  EXPECT_EQ(ProgressRemainingTime(&Bar), Remaining(0, 40));
  EXPECT_EQ(StepsDone, 2);
}

TEST_F(TEstimatorTest, SecondCallAtOnePositionAddsItsTime) {
  RemainingTimeText(10, 0, 1, 1);
  FakeNow += 10 * Second;
  EXPECT_EQ(RemainingTimeText(10, 0, 2, 1), Remaining(0, 40));
  FakeNow += 10 * Second;
  EXPECT_EQ(RemainingTimeText(10, 0, 2, 1), Remaining(1, 20));
  EXPECT_EQ(StepsDone, 2);
  EXPECT_DOUBLE_EQ(ElapsedTime, 20 * Second);
}

TEST_F(TEstimatorTest, TimeBetweenTheTwoReadingsOfOneCallIsNotMeasured) {
  FakeTick = 1 * Second;
  RemainingTimeText(10, 0, 1, 1);  // reads 0 s
  RemainingTimeText(10, 0, 2, 1);  // reads 1 s and 2 s
  RemainingTimeText(10, 0, 3, 1);  // reads 3 s and 4 s
  EXPECT_DOUBLE_EQ(ElapsedTime, 2 * Second);
  EXPECT_DOUBLE_EQ(LastTimestamp, 4 * Second);
  EXPECT_EQ(FakeReadings, 5);
}

TEST_F(TEstimatorTest, NoClockAdvanceGivesZero) {
  RemainingTimeText(1000, 0, 1, 1);
  EXPECT_EQ(RemainingTimeText(1000, 0, 2, 1), Remaining(0, 0));
}

TEST_F(TEstimatorTest, PositionBeyondMaxShowsTheMagnitude) {
  RemainingTimeText(5, 0, 1, 1);
  FakeNow += 180 * Second;
  EXPECT_EQ(RemainingTimeText(5, 0, 10, 1), Remaining(1, 30));  // -90 s
}

struct TSplitCase {
  double Seconds;
  int Minutes;
  int SecondsShown;
};
void PrintTo(const TSplitCase& Case, std::ostream* Out) { *Out << Case.Seconds << " s"; }

class TSplitTest : public TEstimatorTest, public ::testing::WithParamInterface<TSplitCase> {};

// A restart at clock 0 and a second call at the same position, one step before Max: the
// remaining time equals the clock reading of the second call.
TEST_P(TSplitTest, ShowsMinutesAndSecondsOfTheDay) {
  const TSplitCase& Case = GetParam();
  RemainingTimeText(2, 0, 1, 1);
  FakeNow = Case.Seconds * Second;
  EXPECT_EQ(RemainingTimeText(2, 0, 1, 1), Remaining(Case.Minutes, Case.SecondsShown))
      << Case.Seconds << " s";
}

INSTANTIATE_TEST_SUITE_P(Cases, TSplitTest,
                         ::testing::Values(TSplitCase{0, 0, 0}, TSplitCase{0.0004, 0, 0},
                                           TSplitCase{59.5, 0, 59}, TSplitCase{59.9994, 0, 59},
                                           TSplitCase{59.9996, 1, 0},
                                           TSplitCase{2 * 3600 + 5 * 60 + 7.9, 125, 7},
                                           TSplitCase{86399.9, 1439, 59}, TSplitCase{86400, 0, 0},
                                           TSplitCase{90030, 60, 30},
                                           TSplitCase{47 * 86400.0 + 61, 1, 1},
                                           TSplitCase{-90, 1, 30}, TSplitCase{-0.9996, 0, 1}));

TEST_F(TEstimatorTest, RemainingTimeOutsideTheSplitRangeIsUndefinedWithoutRestart) {
  constexpr double TwoTo32 = 4294967296.0;
  const struct {
    double Position;
    double ClockDays;
    const char* Expected;
  } Cases[] = {
      {1, TwoTo32 - 1, "0 Minuto(s) 0 Segundo(s) Restante(s)"},
      {1, TwoTo32, UndefinedRemainingTime},
      {1, -TwoTo32, UndefinedRemainingTime},
      {1, std::numeric_limits<double>::infinity(), UndefinedRemainingTime},
      {1e-310, Second, UndefinedRemainingTime},  // overflows to infinity
  };
  for (const auto& Case : Cases) {
    ResetEstimator();
    FakeNow = 0;
    RemainingTimeText(2, 0, Case.Position, 1);
    FakeNow = Case.ClockDays;
    EXPECT_EQ(RemainingTimeText(2, 0, Case.Position, 1), Case.Expected) << Case.ClockDays;
    EXPECT_EQ(ElapsedTime, Case.ClockDays);
    EXPECT_EQ(PreviousPosition, Case.Position);
  }
}

struct TDivisionCase {
  const char* Name;
  double Position;
  double Step;
  double ElapsedBefore;
  double ClockAdvance;
  bool InvalidOp;  // else zero divide
  bool FailsBeforeAnyChange;
};
void PrintTo(const TDivisionCase& Case, std::ostream* Out) { *Out << Case.Name; }

class TDivisionTest : public TEstimatorTest, public ::testing::WithParamInterface<TDivisionCase> {};

TEST_P(TDivisionTest, RaisesAndKeepsThePreviousPosition) {
  const TDivisionCase& Case = GetParam();
  StepsDone = 7;
  ElapsedTime = Case.ElapsedBefore;
  LastTimestamp = 100 * Second;
  PreviousPosition = -3;
  FakeNow = 100 * Second + Case.ClockAdvance;

  try {
    RemainingTimeText(5, -5, Case.Position, Case.Step);
    FAIL() << "no error";
  } catch (const EMathError& Error) {
    EXPECT_EQ(dynamic_cast<const EInvalidOp*>(&Error) != nullptr, Case.InvalidOp);
    EXPECT_EQ(dynamic_cast<const EZeroDivide*>(&Error) != nullptr, !Case.InvalidOp);
    EXPECT_STREQ(Error.what(), Case.InvalidOp ? "Invalid floating point operation"
                                              : "Floating point division by zero");
  }

  EXPECT_EQ(PreviousPosition, -3);
  if (Case.FailsBeforeAnyChange) {
    EXPECT_EQ(StepsDone, 7);
    EXPECT_EQ(ElapsedTime, Case.ElapsedBefore);
    EXPECT_EQ(LastTimestamp, 100 * Second);
  } else {
    EXPECT_EQ(StepsDone, 0);
    EXPECT_DOUBLE_EQ(ElapsedTime, Case.ClockAdvance + Case.ElapsedBefore);
    EXPECT_EQ(LastTimestamp, FakeNow);
    EXPECT_EQ(FakeReadings, 2);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TDivisionTest,
    ::testing::Values(
        TDivisionCase{"StepZero", 2, 0, 5 * Second, 10 * Second, false, true},
        TDivisionCase{"StepZeroAtPositionZero", 0, 0, 5 * Second, 10 * Second, true, true},
        TDivisionCase{"NoStepsDoneWithTimeMeasured", 0, 1, 5 * Second, 10 * Second, false, false},
        TDivisionCase{"NoStepsDoneWithoutTimeMeasured", 0, 1, 0, 0, true, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(LocalClockTest, ReadsTheLocalWallClockInDays) {
  const double First = LocalClock();
  const auto Utc = std::chrono::system_clock::now();
  double Previous = First;
  for (int Reading = 0; Reading < 100000; ++Reading) {
    const double Now = LocalClock();
    ASSERT_GE(Now, Previous);
    Previous = Now;
  }

  // Days since 1899-12-30 in UTC; the local zone is at most 14 hours away from it.
  const double UtcDays =
      std::chrono::duration<double, std::ratio<86400>>(Utc.time_since_epoch()).count() + 25569;
  EXPECT_NEAR(First, UtcDays, 14.0 / 24 + 1.0 / 1440);

  const double Milliseconds = (Previous - std::floor(Previous)) * 86400000;
  EXPECT_NEAR(Milliseconds, std::round(Milliseconds), 0.01);

  // With no clock set the estimator reads this one.
  SetClock(nullptr);
  ResetEstimator();
  const double Before = LocalClock();
  RemainingTimeText(10, 0, 1, 1);
  const double After = LocalClock();
  EXPECT_GE(LastTimestamp, Before);
  EXPECT_LE(LastTimestamp, After);
  ResetEstimator();
}

}  // namespace
