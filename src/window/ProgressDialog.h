#pragma once

#include "record/Progress.h"

#include <QDialog>

class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;

// The learner's record, "学習の記録": each series' problems solved, first
// checks right and reviews due, the answers of the last 30 days and the
// first-check rate of the last 12 weeks, and each term's rate at first checks. Drawn in the
// desktop's colour scheme, and redrawn when it changes.
class ProgressDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char16_t* Title = u"学習の記録";
    static constexpr const char16_t* NoAnswers = u"まだ回答の記録がありません";

    explicit ProgressDialog(const Progress& progress, QWidget* parent = nullptr);

    QTableWidget* table() const { return table_; }
    QTableWidget* termTable() const { return terms_; }
    QChartView* dayChart() const { return days_; }
    QChartView* weekChart() const { return weeks_; }
    QPushButton* closeButton() const { return close_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyPalette();

    QLabel* learner_;
    QTableWidget* table_;
    QTableWidget* terms_;
    QChartView* days_;
    QChartView* weeks_;
    QPushButton* close_;
};
