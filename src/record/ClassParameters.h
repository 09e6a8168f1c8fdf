#pragma once

#include "record/Fsrs.h"

#include <QDateTime>
#include <QLatin1StringView>
#include <QString>

// The review parameters kept for the class of a desktop's class folder, in
// records/.fsrs-parameters.json (for a server's class, in its store): FSRS-6's 21 parameters fitted
// to the class's reviews (velmorant-check --fit), the recall the intervals aim at, when they were
// fitted and from how many reviews and learners. Read by the program, the check and --due alike.
namespace ClassParameters
{

constexpr QLatin1StringView FileName(".fsrs-parameters.json");
constexpr double LowestRetention = 0.70;
constexpr double HighestRetention = 0.97;

struct Kept {
    Fsrs::Parameters parameters; // the defaults without a usable file
    QDateTime fittedAt;          // UTC; invalid for the defaults
    int reviews = 0;             // fitted to; 0: the parameters are the defaults
    int learners = 0;
    QString problem; // why the file is not used, in Japanese; "" when it is or there is none
    bool fitted() const { return reviews > 0; }
};

QString path(const QString& folder);
// The values of a file's (or a server's class's) JSON, or why they cannot
// be used, in Japanese: the one reader of them.
QString fromJson(const QByteArray& bytes, Kept* kept);
QByteArray toJson(const Kept& kept);
// The folder's file; the defaults, and why, when it is damaged or holds a
// value out of bounds.
Kept read(const QString& folder);
// Replaces the folder's file as one step. Returns "" or why not, in Japanese.
QString write(const QString& folder, const Kept& kept);

// "" when the intervals may aim at `retention`; else why not, in Japanese.
QString retentionProblem(double retention);

} // namespace ClassParameters
