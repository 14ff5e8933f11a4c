#pragma once

#include <QString>

// The closing line of a "check all" run, e.g.
// "2 checked (1 correct, 1 wrong) · 1 not finished yet"; empty when nothing
// was checked or skipped.
QString checkAllSummary(int correct, int wrong, int skipped);
