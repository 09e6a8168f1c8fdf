#pragma once

#include "series/Finding.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

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

// The options that take a value, by name, and where each value goes.
using ValuedOptions = QList<std::pair<QString, QString*>>;

// Takes args[i], and args[i + 1] where the value follows, when it is one of
// `valued` (--name VALUE or --name=VALUE): nothing when it is none of them;
// false, after saying why, when its value is missing.
inline std::optional<bool> takeValued(const QStringList& args, qsizetype& i,
                                      const ValuedOptions& valued)
{
    const QString& a = args.at(i);
    const QString name = a.section(QLatin1Char('='), 0, 0);
    const auto option = std::find_if(valued.begin(), valued.end(),
                                     [&name](const auto& v) { return v.first == name; });
    if (option == valued.end()) {
        return std::nullopt;
    }
    if (a.contains(QLatin1Char('='))) {
        *option->second = a.section(QLatin1Char('='), 1);
    } else if (i + 1 < args.size()) {
        *option->second = args.at(++i);
    }
    if (option->second->isEmpty()) {
        printError(QStringLiteral("%1 のあとに値を指定してください").arg(name));
        return false;
    }
    return true;
}

// Whether the command line names the option, alone or as --name=VALUE.
inline bool asks(const QStringList& args, const char* name)
{
    return std::any_of(args.begin(), args.end(), [name](const QString& a) {
        return a.section(QLatin1Char('='), 0, 0) == QLatin1String(name);
    });
}

// Said after a command line that cannot be used.
inline void printUsageHint()
{
    printError(QStringLiteral("使い方は velmorant-check --help で表示します"));
}

// The folder a command is given, this one without any; nothing, after
// saying why, when it cannot be read.
inline std::optional<QString> readableFolder(const QStringList& folders)
{
    const QString folder = folders.isEmpty() ? QStringLiteral(".") : folders.first();
    if (!QFileInfo(folder).isDir() || !QDir(folder).isReadable()) {
        printError(QStringLiteral("フォルダ「%1」を読めません").arg(folder));
        return std::nullopt;
    }
    return folder;
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
