#pragma once

#include "report/ClassReport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The report as files a teacher opens: five spreadsheets and a page.
// The spreadsheets are UTF-8 with a byte order mark and CR LF line ends,
// quoted as RFC 4180 says, which Japanese Excel reads as UTF-8 (without
// the mark it takes the file for Shift-JIS). "Right" columns hold 1 or 0 so
// that a spreadsheet can sum and average them.
namespace ReportFiles
{

// One row per learner and problem.
QByteArray resultsCsv(const ClassReport::Report& report);
// One row per term placed in a wrong group of a problem, most learners
// first within each problem.
QByteArray confusionsCsv(const ClassReport::Report& report);
// One row per problem and term: how often the term was put in its group at
// first checks.
QByteArray termsCsv(const ClassReport::Report& report);
// Per problem, the first-check right share of each class side by side.
QByteArray comparisonCsv(const ClassReport::Report& report);
// 成績一覧: one row per learner (組, 番号, 氏名) and, per series, problems
// solved, the first-check right share and the last day active.
QByteArray gradebookCsv(const ClassReport::Report& report);
// The class at a glance, for the screen and for A4 paper: no script, no
// file from outside.
QByteArray indexHtml(const ClassReport::Report& report, const QString& title);

// A field as RFC 4180 quotes it. Text that a spreadsheet would take for a
// formula (= + - @ at its start) gets a leading apostrophe.
QString csvField(const QString& text);

// The spreadsheets' file names, in the order they are offered.
const QStringList& spreadsheetNames();
// The name a spreadsheet is saved under (成績一覧.csv for gradebook.csv).
QString fileName(const QString& name);
// The spreadsheet of one of those names; empty for another name.
QByteArray spreadsheet(const QString& name, const ClassReport::Report& report);

// Writes the six files into `outDir` (made when missing), each in one
// step. Returns "" or why not, in Japanese.
QString write(const QString& outDir, const ClassReport::Report& report, const QString& title);

} // namespace ReportFiles
