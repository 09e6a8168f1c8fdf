#pragma once

#include "marks/MarksFile.h"
#include "record/AnswerStore.h"
#include "record/ProblemIndex.h"
#include "record/StatementIds.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

class Store;

// A learner's answers in the classroom's store, one statement a row.
class StoreAnswers : public AnswerStore
{
public:
    StoreAnswers(Store& store, QString learner, const QString& workDir, QString homePage);
    // The store of the thread that uses it next.
    void use(Store& store) { store_ = &store; }

    const QString& learner() const override { return learner_; }
    const QString& learnerName() const override { return learner_; }
    const QString& homePage() const override { return homePage_; }
    qint64 now() const override;
    QString name() const override;
    void count(const Answer& answer) override;
    QString store(const Answer& answer) override;
    // Takes in the statements stored since by another server.
    QList<LogFinding> refresh() override;
    const Schedule& schedule() const override { return schedule_; }
    const QList<Answer>& answers() const override { return answers_; }

private:
    Store* store_;
    QString learner_;
    QString homePage_;
    // Old problem ids named as the folder's series name the problems now.
    ProblemIndex problems_;
    QList<Answer> answers_;
    Schedule schedule_;
    StatementIdSet counted_;
};

// A learner's marks in the classroom's store, each a row with its place.
class StoreMarks : public MarksPort
{
public:
    StoreMarks(Store& store, QString learner);
    void use(Store& store) { store_ = &store; }

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
};
