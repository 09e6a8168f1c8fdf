#include "window/ProgressCharts.h"

#include "session/Colors.h"
#include "window/ViewColors.h"

#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>

namespace ProgressCharts
{

namespace
{

// The group colour the program uses for the fourth frame.
constexpr quint32 DataColour = Colors::GroupCaptions[3];

QString shortDay(const QDate& day)
{
    return QStringLiteral("%1/%2").arg(QString::number(day.month()), QString::number(day.day()));
}

// A chart that the keyboard and a screen reader reach: it shows that it has
// the focus with a ring around it.
class FocusChartView : public QChartView
{
public:
    using QChartView::QChartView;

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QChartView::focusInEvent(event);
        applyPalette(this, palette());
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QChartView::focusOutEvent(event);
        applyPalette(this, palette());
    }
};

// A chart in a view, titled, without legend or margins of its own.
QChartView* makeView(QChart* chart, const QString& title, const QString& description,
                     QWidget* parent)
{
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setBackgroundRoundness(0);
    // The last date is centred under the last bar and reaches past the plot.
    chart->setMargins(QMargins(4, 4, 16, 4));
    auto* view = new FocusChartView(chart, parent);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::StrongFocus);
    view->setFrameShape(QFrame::StyledPanel);
    view->setMinimumSize(400, 320);
    view->setAccessibleName(title);
    view->setAccessibleDescription(description);
    return view;
}

// The dates under a chart of `count` places: too many to name each, so
// every `every`th is named, counting back from the last (today, this week).
QCategoryAxis* dates(const QList<QDate>& places, int every, QChart* chart)
{
    auto* axis = new QCategoryAxis;
    axis->setRange(-0.5, static_cast<double>(places.size()) - 0.5);
    axis->setStartValue(-0.5);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (qsizetype i = (places.size() - 1) % every; i < places.size(); i += every) {
        axis->append(shortDay(places.at(i)), static_cast<double>(i));
    }
    axis->setGridLineVisible(false);
    chart->addAxis(axis, Qt::AlignBottom);
    return axis;
}

QValueAxis* values(double top, int ticks, const QString& format, QChart* chart)
{
    auto* axis = new QValueAxis;
    axis->setRange(0, top);
    axis->setTickCount(ticks);
    axis->setLabelFormat(format);
    chart->addAxis(axis, Qt::AlignLeft);
    return axis;
}

QColor mixed(const QColor& from, const QColor& to, double t)
{
    const auto channel = [t](float a, float b) { return static_cast<float>(a + (b - a) * t); };
    return QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
                            channel(from.blueF(), to.blueF()));
}

// `c` moved toward `towards` until it stands out from `back` as a graphic
// must (contrast 3:1).
QColor standingOut(const QColor& c, const QColor& towards, const QColor& back)
{
    QColor out = c;
    for (int step = 1; step <= 10 && ViewColors::contrast(out, back) < 3.0; ++step) {
        out = mixed(c, towards, step / 10.0);
    }
    return out;
}

} // namespace

QChartView* dayChart(const QList<DayCount>& days, QWidget* parent)
{
    auto* chart = new QChart;
    auto* set = new QBarSet(QStringLiteral("回答数"));
    QList<QDate> places;
    int most = 0;
    for (const DayCount& d : days) {
        *set << d.answers;
        places.append(d.day);
        most = std::max(most, d.answers);
    }
    auto* series = new QBarSeries;
    series->append(set);
    series->setBarWidth(0.7);
    chart->addSeries(series);
    QCategoryAxis* x = dates(places, 7, chart);
    // Four steps of whole answers, so that no label repeats.
    const int step = std::max(1, (most + 3) / 4);
    QValueAxis* y = values(step * 4, 5, QStringLiteral("%d"), chart);
    series->attachAxis(x);
    series->attachAxis(y);
    return makeView(chart, QString::fromUtf16(DaysTitle), describeDays(days), parent);
}

QChartView* weekChart(const QList<WeekRate>& weeks, QWidget* parent)
{
    auto* chart = new QChart;
    auto* series = new QLineSeries;
    QList<QDate> places;
    for (int i = 0; i < weeks.size(); ++i) {
        places.append(weeks.at(i).monday);
        if (weeks.at(i).reviews > 0) {
            series->append(i, weeks.at(i).rightPercent());
        }
    }
    series->setPointsVisible(true);
    chart->addSeries(series);
    QCategoryAxis* x = dates(places, 2, chart);
    QValueAxis* y = values(100, 6, QStringLiteral("%d%"), chart);
    series->attachAxis(x);
    series->attachAxis(y);
    return makeView(chart, QString::fromUtf16(WeeksTitle), describeWeeks(weeks), parent);
}

void applyPalette(QChartView* view, const QPalette& palette)
{
    QChart* chart = view->chart();
    const QColor back = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    // Faint but there under any scheme; a scheme's own mid tone may be
    // nearly its background.
    const QColor grid = mixed(back, text, 0.25);
    view->setBackgroundBrush(back);
    chart->setBackgroundBrush(back);
    chart->setBackgroundPen(
        view->hasFocus() ? QPen(standingOut(palette.color(QPalette::Highlight), text, back), 3)
                         : QPen(Qt::NoPen));
    chart->setTitleBrush(text);
    QFont titleFont = view->font();
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsBrush(text);
        axis->setLabelsFont(view->font());
        axis->setLinePenColor(text);
        axis->setGridLineColor(grid);
    }
    const QColor data = standingOut(
        QColor(Colors::red(DataColour), Colors::green(DataColour), Colors::blue(DataColour)), text,
        back);
    for (QAbstractSeries* series : chart->series()) {
        if (auto* bars = qobject_cast<QBarSeries*>(series)) {
            for (QBarSet* set : bars->barSets()) {
                set->setColor(data);
                set->setBorderColor(data);
            }
        } else if (auto* line = qobject_cast<QLineSeries*>(series)) {
            line->setPen(QPen(data, 3));
            line->setBrush(data);
        }
    }
}

} // namespace ProgressCharts
