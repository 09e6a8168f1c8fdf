#pragma once

#include "record/Answer.h"

#include <QString>

// An answer that names who wrote it and its number in its heading
// ("問題A17"), so that a test can tell every line of a log apart.
Answer numberedAnswer(const QString& learner, const QString& writer, long long n);
// The writer and the number back from such an answer; false for another.
bool numberOf(const Answer& answer, QString* writer, long long* n);
