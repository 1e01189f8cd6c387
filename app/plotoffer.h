#pragma once

#include <QString>

class ResultStore;

// Why the grid's result is not offered for a plot, as the Plot button's tool tip says it: a run
// is going on, the grid holds no result that ran to its end, the result has more points than
// the memory set aside for a plot holds, or it has no time or no number to plot. Empty when it
// can be plotted.
QString whyNoPlot(bool runInProgress, bool resultFinished, const ResultStore &store);
