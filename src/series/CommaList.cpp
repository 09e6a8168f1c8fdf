#include "series/CommaList.h"

int WalkCommaList(const QString& list,
                  const std::function<void(int index, const QString& field)>& action)
{
    if (list.isEmpty()) {
        return 0;
    }
    int index = 0;
    qsizetype start = 0;
    while (true) {
        const qsizetype comma = list.indexOf(QLatin1Char(','), start);
        if (comma < 0) {
            action(index, list.mid(start));
            return index + 1;
        }
        action(index, list.mid(start, comma - start));
        ++index;
        if (comma + 1 >= list.size()) {
            return index;
        }
        start = comma + 1;
    }
}

double LeadingNumber(const QString& field)
{
    qsizetype i = 0;
    const qsizetype n = field.size();
    while (i < n && field.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    double sign = 1.0;
    if (i < n && (field.at(i) == QLatin1Char('+') || field.at(i) == QLatin1Char('-'))) {
        sign = field.at(i) == QLatin1Char('-') ? -1.0 : 1.0;
        ++i;
    }
    double value = 0.0;
    while (i < n && field.at(i) >= QLatin1Char('0') && field.at(i) <= QLatin1Char('9')) {
        value = value * 10.0 + (field.at(i).unicode() - u'0');
        ++i;
    }
    if (i < n && field.at(i) == QLatin1Char('.')) {
        ++i;
        double scale = 0.1;
        while (i < n && field.at(i) >= QLatin1Char('0') && field.at(i) <= QLatin1Char('9')) {
            value += scale * (field.at(i).unicode() - u'0');
            scale /= 10.0;
            ++i;
        }
    }
    return sign * value;
}
