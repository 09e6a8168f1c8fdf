#pragma once

#include <QList>
#include <QString>

// Something a reader of outside data noticed about a line of its file. The
// program turns findings into message boxes; velmorant-check prints them.
struct Finding {
    enum class Kind { Error, Warning };

    int line = 0; // 1-based; 0 for the file as a whole
    Kind kind = Kind::Error;
    QString message; // one line of Japanese
};

using Findings = QList<Finding>;
