#pragma once

#include "marks/MarksFile.h"
#include "record/AnswerStore.h"
#include "record/ProblemIndex.h"
#include "server/store/Store.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <functional>

// A learner's answers in the classroom's store, one statement a row, with
// the review state they make kept beside them: a list view reads the state,
// never the answers since the first.
class StoreAnswers : public AnswerStore
{
public:
    // Takes up the kept review state; a learner's from before it was kept
    // (or without answers yet) is built from their statements, and saved
    // within an action's transaction.
    StoreAnswers(Store& store, QString learner, const QString& workDir, QString homePage);
    // The store of the thread that uses it next.
    void use(Store& store) { store_ = &store; }
    // The class round the answers are given in, named in each statement.
    void setRegistration(const QString& round) { registration_ = round; }

    const QString& learner() const override { return learner_; }
    // As people see them: their name in their class.
    const QString& learnerName() const override { return shownName_; }
    const QString& homePage() const override { return homePage_; }
    qint64 now() const override;
    QString name() const override;
    void count(const Answer& answer) override;
    // The statement and the review state it makes, through the store's one
    // connection, inside the caller's transaction when it holds one.
    QString store(const Answer& answer) override;
    // Takes in the review state as another server left it, when it has
    // changed since.
    QList<LogFinding> refresh() override;
    const Schedule& schedule() const override { return schedule_; }
    // Read from the statements when first asked for (the progress page);
    // the schedule is then the one they make, beside them.
    const QList<Answer>& answers() const override;

private:
    bool takeParameters();
    void takeUp(const Store::Reviews& kept);
    // Saves the state built from every statement, in the transaction held.
    void keepBuilt();
    // Every answer, and the schedule they make; false, and nothing changed,
    // when the statements cannot be read.
    bool readAnswers() const;

    Store* store_;
    QString learner_;
    QString shownName_;
    QString homePage_;
    QString registration_;
    // Old problem ids named as the folder's series name the problems now.
    mutable ProblemIndex problems_;
    mutable QList<Answer> answers_;
    mutable bool answersRead_ = false;
    mutable Schedule schedule_;
    // Counted and not stored yet: kept in the schedule when it is read again.
    QList<Answer> unstored_;
    // The kept state's count of answers that schedule_ holds; another value
    // there means another server has stored some since.
    qint64 taken_ = -1;
    // The version of the class's parameters schedule_ is made with.
    qint64 parametersVersion_ = 0;
};

// A learner's marks in the classroom's store, each a row with its place.
class StoreMarks : public MarksPort
{
public:
    StoreMarks(Store& store, QString learner);
    void use(Store& store) { store_ = &store; }
    // Marks of problems that `leaveOut` says are not the learner's to see
    // (of a series hidden from their class) are kept but not shown.
    void leaveOut(std::function<bool(const Problem&)> leaveOut) { leaveOut_ = std::move(leaveOut); }

    int read(SeriesState& st, QList<MarksFinding>* findings) override;
    QList<Problem> problems() override;
    MarksWrite append(const QStringList& record) override;
    MarksWrite savePending() override;
    MarksWrite rewrite(const SeriesState& st) override;
    qsizetype pendingCount() const override { return pending_.size(); }
    void takeBackLast() override;
    QString where() const override;

private:
    Store* store_;
    QString learner_;
    // Where each row read into the table lies in the store.
    QList<qint64> positions_;
    QList<QStringList> pending_;
    std::function<bool(const Problem&)> leaveOut_;
};
