#pragma once

#include "series/Problem.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// How the record names a problem: its series file and its key there, in an
// IRI "urn:velmorant:problem:SERIES:KEY" with the file name percent-encoded.
//
// The key is the hash of what the problem asks (its terms, groups and answer
// key), a hyphen and its place among the series' problems that ask the
// same: "0f1e2d3c4b5a6978-1". A new wording of the question, heading or
// explanation keeps the key, and so the learner's history; a change of what
// is asked starts the problem anew.
//
// Logs written before hold keys of 16 hex digits alone, the hash of the
// problem's whole text, and the file name as it is; both are still read.
namespace ProblemIds
{

// The hash part of a key: 16 lowercase hex digits.
QString asked(const QStringList& terms, const QStringList& groups, const QList<int>& answers);
QString asked(const Problem& problem);

// The keys of a series' problems, in its order.
QStringList keysOf(const QList<Problem>& problems);

// The hash of the whole text, as ids were named before.
QString textHash(const Problem& problem);
// Whether a key is such a hash.
bool isTextHash(QStringView key);

QString iri(const QString& series, const QString& key);

struct Parsed {
    QString series;
    QString key;
};
// Nothing when `iri` is no problem id of this program, new or old.
std::optional<Parsed> parse(QStringView iri);

} // namespace ProblemIds
