#pragma once

#include "record/Answer.h"
#include "record/TermRates.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// A class's answers summed up for the teacher: plain values that the files
// of ReportFiles (and the server's page) are written from.
namespace ClassReport
{

// A line of a records file the report did not use, and why (in Japanese).
struct LeftOut {
    QString file;
    int line = 0; // 1-based; 0: the file as a whole
    QString reason;
};

// Whether a problem's text is still in its series file.
enum class ProblemText { Same, Changed };

// Where a problem's text is in its series file: the line of its heading,
// 0 when the file no longer holds that text.
using ProblemLine = int;

// One learner's work on one problem.
struct LearnerProblem {
    QString learner;
    QString series;
    QString problemHash;
    QString heading;         // as the statements give it
    bool firstRight = false; // right at the first check of the first showing
    int showings = 0;        // first checks (attempt 1)
    int checks = 0;          // every check
    bool lastRight = false;
    qint64 lastAnsweredMs = 0;
    qint64 timeSpentMs = 0; // per showing its last check's duration, summed
    ProblemText text = ProblemText::Same;
};

// One problem across the class.
struct ProblemSummary {
    QString series;
    QString problemHash;
    QString heading;
    int learners = 0;
    int firstRight = 0; // learners right at their first check
    ProblemText text = ProblemText::Same;
    ProblemLine line = 0;
    double firstRightRate() const { return learners > 0 ? double(firstRight) / learners : 0.0; }
};

// A term placed in a wrong group of a problem at a first check of a
// showing (attempt 1), as the terms' rates count them.
struct Confusion {
    QString series;
    QString problemHash;
    QString heading;
    QString term;
    QString placedIn;  // the wrong group
    QString belongsIn; // the right one
    int learners = 0;  // learners who placed it there at least once
    int times = 0;     // first checks that had it there
};

struct DayCount {
    QDate day; // local date
    int checks = 0;
};

// A learner as the school knows them, where a store tells it.
struct Person {
    QString className;
    int number = 0; // 出席番号; 0: none
    QString name;   // as shown to people
};

struct Report {
    QStringList learners;           // sorted, or in the order placeLearners gave
    QStringList series;             // sorted
    QList<ProblemSummary> problems; // by series, then as in the file; changed ones last, by heading
    QList<LearnerProblem> rows;     // by learner, then in the order of problems
    QList<Confusion> confusions;    // by problem, most learners first
    QList<TermRate> terms;          // by problem, then as the problem lists them
    QList<DayCount> days;           // every day from the first check to the last
    QList<LeftOut> leftOut;
    int statements = 0; // statements reported
    // Filled by a school's store (placeLearners): who each learner is, by
    // learner as named above, and the classes reported, in their order.
    QHash<QString, Person> people;
    QStringList classes;
    // Each series' title in the catalogue, by file; a file not in it is
    // named by its file name.
    QHash<QString, QString> titles;
    QString title(const QString& file) const { return titles.value(file, file); }
};

// Finds a problem's text in the folder's series file.
using TextCheck = std::function<ProblemLine(const QString& series, const QString& problemHash)>;

// Every answer counts: `leftOut` (what reading dropped) is passed on.
// Without a textCheck every problem counts as unchanged.
Report of(const QList<Answer>& answers, QList<LeftOut> leftOut = {},
          const TextCheck& textCheck = {});

// Puts the learners in `order` (those without answers too), with `people`
// telling who each is; the rows follow. A learner with answers but not in
// `order` comes after, as sorted before.
void placeLearners(Report* report, const QStringList& order, QHash<QString, Person> people,
                   QStringList classes);

// Per problem, the first-check right share in each of the report's classes
// side by side.
struct ClassShare {
    int learners = 0;
    int firstRight = 0;
};
struct Compared {
    QString series;
    QString problemHash;
    QString heading;
    QList<ClassShare> shares; // as report.classes
};
QList<Compared> comparison(const Report& report);

// The grade book's part of the report, folded from answers given one at a
// time in the order `of` takes them, none of them kept: the learners, the
// series and each learner's row of a problem with its first and last check
// (what seriesMarks reads), nothing else. An answer needs only its learner,
// series, problem, success, time, attempt and duration.
class MarksFold
{
public:
    MarksFold();
    ~MarksFold();
    MarksFold(const MarksFold&) = delete;
    MarksFold& operator=(const MarksFold&) = delete;
    void add(const Answer& a);
    Report report(QList<LeftOut> leftOut) const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

// Per learner and series: problems solved (right at the last check), the
// first-check right share, the last day active. In the report's order.
struct SeriesMark {
    int answered = 0;
    int solved = 0;
    int firstRight = 0;
    qint64 lastMs = 0;
};
// By learner, then by series as report.series.
QList<QList<SeriesMark>> seriesMarks(const Report& report);

// The ten (or `count`) problems with the lowest first-check rate, and the
// most frequent confusions.
QList<ProblemSummary> hardest(const Report& report, int count = 10);
QList<Confusion> commonest(const Report& report, int count = 10);

} // namespace ClassReport
