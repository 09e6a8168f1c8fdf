#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

// velmorant-check run as a teacher runs it.
struct CheckRun {
    int exitCode = -1;
    QStringList lines; // standard output
    QString errors;    // standard error
};

inline CheckRun check(const QStringList& args, const QString& workDir = QString())
{
    QProcess p;
    if (!workDir.isEmpty()) {
        p.setWorkingDirectory(workDir);
    }
    p.start(QStringLiteral(VELMORANT_CHECK), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    CheckRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    r.errors = QString::fromUtf8(p.readAllStandardError());
    return r;
}
