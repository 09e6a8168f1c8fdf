#pragma once

#include <functional>

class QWidget;

// Runs `action` once, as soon as the window's first frame has been drawn
// (or after a second at the latest, should the window never be exposed).
// For work the first frame need not wait for.
void afterFirstFrame(QWidget* window, std::function<void()> action);
