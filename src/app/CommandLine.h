#pragma once

#include "record/LearnerDays.h"

#include <QString>
#include <QStringList>

// velmorant's command line, read before the application object exists: help
// and version need no display, and Qt's own options (-platform, -style, the
// session manager's -session ...) are accepted and left for Qt to read.
namespace CommandLine
{

struct Request {
    enum class Action { Run, Help, Version, BadUsage, DrawPreviews };
    Action action = Action::Run;
    // Run: the folder to work in, when one is given.
    QStringList folders;
    // Whose answers are recorded: the login name unless --learner says.
    QString learner;
    // DrawPreviews (velmorant-check --preview, which has no widgets of its
    // own): the folder the pictures go to; the series come on standard input.
    QString previewDir;
    // Minutes after local midnight when the learner's day starts.
    int dayStart = LearnerDays::DefaultStartMinutes;
    // Qt's -platform was given: the window needs no display of the desktop.
    bool platformGiven = false;
    // BadUsage: what is wrong, in Japanese.
    QString error;
};

// `arguments` starts with the program's name.
Request read(const QStringList& arguments);

QString helpText();
QString versionText();

} // namespace CommandLine
