#pragma once

#include "series/Problem.h"

#include <QString>
#include <QtGlobal>

#include <array>

// The series being worked through, shared by every handler: the catalogue,
// the loaded problems and which are marked, and where the learner is. One instance lives as long as
// the program; the application owns it and tests make their own. Nothing resets it wholesale: a
// field keeps its value until a handler overwrites it.
struct SeriesState {
    static constexpr int CatalogRows = 51; // rows 0..50; row 0 is the marked series
    static constexpr int SeriesRows = 101; // rows 0..100

    // The most terms and frames a problem shows: the one place these stand.
    static constexpr int MaxTerms = 21;
    static constexpr int MaxFrames = 6;
    static constexpr int MaxCatalogEntries = 50;
    static constexpr int MaxProblems = 100;

    bool markedSeries = false; // the series of marked problems is open
    bool markPending = false;  // the problem on the board was marked or unmarked
    int problemCount = 0;
    int currentProblem = 0;

    std::array<std::array<QString, 2>, CatalogRows> catalog;
    std::array<Problem, SeriesRows> problems;
    std::array<bool, SeriesRows> marked{}; // the problem is kept in the marks file
    // The series file each problem was read from, as the catalogue names it;
    // empty for a marked problem until its series is looked up.
    std::array<QString, SeriesRows> seriesFile;
};
