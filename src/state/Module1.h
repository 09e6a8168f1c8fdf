#pragma once

#include "series/Problem.h"

#include <QString>
#include <QtGlobal>

#include <array>

// The quiz state every handler of the main window shares. One instance lives
// as long as the program; the application owns it and tests make their own.
// Nothing resets it wholesale: a field keeps its value until a handler
// overwrites it.
struct Module1 {
    static constexpr int CatalogRows = 51;   // rows 0..50; row 0 is the marked series
    static constexpr int SeriesRows = 101;   // rows 0..100

    static constexpr int MaxItems = 21;
    static constexpr int MaxGroups = 6;
    static constexpr int MaxCatalogEntries = 50;
    static constexpr int MaxProblems = 100;

    int MarkedMode = 0;
    int MarkPending = 0;
    int ProblemCount = 0;
    int CurrentProblem = 0;
    float DragStartX = 0.0F;
    float DragStartY = 0.0F;
    int Dragging = 0;

    std::array<std::array<QString, 2>, CatalogRows> SeriesCatalog;
    std::array<Problem, SeriesRows> Problems;
    std::array<bool, SeriesRows> Marked{}; // the problem is kept in the marks file
};
