#include "window/ProgressDialog.h"

#include "window/ProgramImages.h"
#include "window/ProgressCharts.h"

#include <QChartView>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace
{

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment)
{
    auto* cell = new QTableWidgetItem(text);
    cell->setTextAlignment(alignment | Qt::AlignVCenter);
    return cell;
}

QTableWidgetItem* number(int n)
{
    return cell(QString::number(n), Qt::AlignRight);
}

void fillRows(QTableWidget* table, const Progress& progress)
{
    if (progress.answers == 0) {
        table->setRowCount(1);
        table->setItem(0, 0, cell(QString::fromUtf16(ProgressDialog::NoAnswers), Qt::AlignLeft));
        table->setSpan(0, 0, 1, table->columnCount());
        return;
    }
    table->setRowCount(static_cast<int>(progress.series.size()));
    for (int row = 0; row < progress.series.size(); ++row) {
        const SeriesProgress& s = progress.series.at(row);
        QTableWidgetItem* name = cell(s.title, Qt::AlignLeft);
        name->setToolTip(s.series);
        table->setItem(row, 0, name);
        table->setItem(row, 1, number(s.seen));
        // Nothing seen has no rate, which is not the same as none right.
        table->setItem(row, 2,
                       s.seen > 0 ? number(s.rightPercent())
                                  : cell(QStringLiteral("—"), Qt::AlignRight));
        table->setItem(row, 3, number(s.dueToday));
        table->setItem(row, 4, number(s.dueThisWeek));
    }
}

// Each term answered, least often right first.
void fillTerms(QTableWidget* table, const Progress& progress)
{
    table->setRowCount(static_cast<int>(progress.terms.size()));
    for (int row = 0; row < progress.terms.size(); ++row) {
        const TermRate& t = progress.terms.at(row);
        QTableWidgetItem* heading = cell(t.heading, Qt::AlignLeft);
        heading->setToolTip(t.series);
        table->setItem(row, 0, heading);
        table->setItem(row, 1, cell(t.term, Qt::AlignLeft));
        table->setItem(row, 2, cell(t.group, Qt::AlignLeft));
        table->setItem(row, 3, number(t.rightPercent()));
        table->setItem(row, 4,
                       cell(QStringLiteral("%1/%2").arg(QString::number(t.right),
                                                        QString::number(t.firstChecks)),
                            Qt::AlignRight));
    }
}

// A read-only table of `rows` rows in view.
QTableWidget* makeTable(const QStringList& columns, const QString& name, int rows, QWidget* parent)
{
    auto* table = new QTableWidget(0, static_cast<int>(columns.size()), parent);
    table->setHorizontalHeaderLabels(columns);
    table->setAccessibleName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab goes on to the charts and the button; the arrows move in the table.
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setFixedHeight(header->sizeHint().height() +
                          rows * table->verticalHeader()->defaultSectionSize() +
                          2 * table->frameWidth());
    return table;
}

} // namespace

ProgressDialog::ProgressDialog(const Progress& progress, QWidget* parent)
    : QDialog(parent), learner_(new QLabel(this)),
      table_(makeTable(
          {QStringLiteral("シリーズ"), QStringLiteral("解いた問題"), QStringLiteral("初回正解 (%)"),
           QStringLiteral("今日の復習"), QStringLiteral("今週の復習")},
          QStringLiteral("シリーズごとの記録"),
          // Up to eight rows show without scrolling; the charts
          // take what is left.
          progress.answers == 0 ? 2 : std::clamp(static_cast<int>(progress.series.size()), 2, 8),
          this)),
      terms_(
          makeTable({QStringLiteral("問題"), QStringLiteral("項目"), QStringLiteral("正しい分類群"),
                     QStringLiteral("初回正解 (%)"), QStringLiteral("正解/初回")},
                    QStringLiteral("項目ごとの初回正解率"), 4, this)),
      days_(ProgressCharts::dayChart(progress.days, this)),
      weeks_(ProgressCharts::weekChart(progress.weeks, this)),
      close_(new QPushButton(QStringLiteral("閉じる"), this))
{
    setWindowTitle(QString::fromUtf16(Title));
    setAccessibleName(QString::fromUtf16(Title));
    setWindowIcon(ProgramImages::icon());

    fillRows(table_, progress);
    fillTerms(terms_, progress);
    learner_->setTextFormat(Qt::PlainText);
    learner_->setText(QStringLiteral("学習者: %1　　これまでの回答: %2回")
                          .arg(progress.learner, QString::number(progress.answers)));
    learner_->setAccessibleName(learner_->text());

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(close_, QDialogButtonBox::RejectRole);
    close_->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* charts = new QHBoxLayout;
    charts->addWidget(days_);
    charts->addWidget(weeks_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(learner_);
    if (!progress.setAside.isEmpty()) {
        auto* setAside = new QLabel(progress.setAside, this);
        setAside->setTextFormat(Qt::PlainText);
        setAside->setWordWrap(true);
        layout->addWidget(setAside);
    }
    layout->addWidget(table_);
    layout->addWidget(terms_);
    layout->addLayout(charts, 1);
    layout->addWidget(buttons);

    setTabOrder(table_, terms_);
    setTabOrder(terms_, days_);
    setTabOrder(days_, weeks_);
    setTabOrder(weeks_, close_);
    applyPalette();
    resize(900, sizeHint().height());
    table_->setFocus();
}

void ProgressDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        applyPalette();
    }
}

void ProgressDialog::applyPalette()
{
    ProgressCharts::applyPalette(days_, palette());
    ProgressCharts::applyPalette(weeks_, palette());
}
