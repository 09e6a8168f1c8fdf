#pragma once

#include "report/ClassFolder.h"
#include "report/ClassReport.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <limits>
#include <optional>

class Store;

// The class report of every learner's statements in a server's store, as
// the teacher's page and velmorant-check --report give it.
namespace StoreReport
{

// The learners of the classes `classIds` (none: of every class) as the
// report shows them.
struct School {
    QHash<QString, QString> shown; // by key: their name, with their class's when there are several
    QStringList order;             // shown names, by class, 番号, name
    QHash<QString, ClassReport::Person> people; // by shown name
    QHash<QString, qint64> classOf;             // by shown name: their class's id
    QStringList classes;                        // the classes' names, in the school's order
};
School school(Store& store, const std::optional<QList<qint64>>& classIds = std::nullopt);

// Whose statements are read, and how each learner is named.
struct Learners {
    QHash<QString, QString> shown; // by key; a learner not in it keeps their key
    bool onlyShown = false;        // else every learner's statements
    // With onlyShown, the statements stamped from fromMs to before toMs.
    qint64 fromMs = std::numeric_limits<qint64>::min();
    qint64 toMs = std::numeric_limits<qint64>::max();
};

// The statements of `who` (by default every learner, as school() names
// them), by learner and time; a statement that cannot be read is told among
// what was left out.
ClassFolder::Read read(Store& store, const std::optional<Learners>& who = std::nullopt);

// The report of read(store, who), its problems checked against the series
// files of `workDir`.
ClassReport::Report of(Store& store, const QString& workDir,
                       const std::optional<Learners>& who = std::nullopt);

// The series files hidden from the class.
QStringList hiddenFrom(Store& store, qint64 classId);

// The report of the classes `classIds` for the days from `from` to `to`
// (local days; a null date leaves that end open): every learner of those
// classes in the school's order (class, 番号, name), with who they are,
// answers or none, and the classes' names for comparing them. A learner's
// answers in a series hidden from their class are left out.
ClassReport::Report ofClasses(Store& store, const QString& workDir, const QList<qint64>& classIds,
                              QDate from, QDate to);

// What the grade book reads of ofClasses' report, in a lighter pass: each
// learner's answers folded as they are read, as the store keeps them beside
// their statements (Store::KeptAnswer) or, where it keeps none, parsed
// from the statement; only the answer's problem, success, attempt, time
// and duration (ClassReport::MarksFold). Its grade book has the same bytes.
ClassReport::Report marksOfClasses(Store& store, const QString& workDir,
                                   const QList<qint64>& classIds, QDate from, QDate to);

} // namespace StoreReport
