#pragma once

#include "series/Finding.h"

#include <QString>

#include <algorithm>
#include <cstdio>

// What velmorant-check prints: one line per finding, FILE:LINE: KIND: TEXT,
// and a summary line per file.
namespace CheckReport
{

inline void print(const QString& line)
{
    std::fputs(qUtf8Printable(line + QLatin1Char('\n')), stdout);
}

inline void printError(const QString& line)
{
    std::fputs(qUtf8Printable(QStringLiteral("velmorant-check: ") + line + QLatin1Char('\n')),
               stderr);
}

// The findings of one file and its summary line.
class Report
{
public:
    explicit Report(QString file) : file_(std::move(file)) {}

    void add(const Finding& f)
    {
        const QString kind =
            f.kind == Finding::Kind::Error ? QStringLiteral("error") : QStringLiteral("warning");
        const QString where =
            f.line > 0 ? QStringLiteral("%1:%2").arg(file_, QString::number(f.line)) : file_;
        print(QStringLiteral("%1: %2: %3").arg(where, kind, f.message));
        (f.kind == Finding::Kind::Error ? errors_ : warnings_) += 1;
    }
    void addAll(Findings findings)
    {
        std::stable_sort(findings.begin(), findings.end(),
                         [](const Finding& a, const Finding& b) { return a.line < b.line; });
        for (const Finding& f : findings) {
            add(f);
        }
    }
    void summary(const QString& what) const
    {
        print(QStringLiteral("%1: %2（エラー %3、警告 %4）")
                  .arg(file_, what, QString::number(errors_), QString::number(warnings_)));
    }
    int errors() const { return errors_; }

private:
    QString file_;
    int errors_ = 0;
    int warnings_ = 0;
};

} // namespace CheckReport
