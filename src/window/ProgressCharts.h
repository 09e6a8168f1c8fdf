#pragma once

#include "record/Progress.h"

#include <QPalette>
#include <QString>

class QChartView;
class QWidget;

// The two charts of the learner's record. Each is named by its title and
// described in words with all its numbers, for a screen reader.
namespace ProgressCharts
{

constexpr const char16_t* DaysTitle = u"1日の回答数（30日）";
constexpr const char16_t* WeeksTitle = u"初回正解率（週ごと）";

// Answers per day as bars, oldest day first.
QChartView* dayChart(const QList<DayCount>& days, QWidget* parent);
// The first-check rate per week as a line from 0 to 100 %; a week without
// reviews has no point.
QChartView* weekChart(const QList<WeekRate>& weeks, QWidget* parent);

// Their descriptions, shared with the classroom page (Progress.h).
using ::describeDays;
using ::describeWeeks;

// Draws a chart in the scheme's background and text colours, its data in
// the program's colour made to stand out from that background.
void applyPalette(QChartView* view, const QPalette& palette);

} // namespace ProgressCharts
