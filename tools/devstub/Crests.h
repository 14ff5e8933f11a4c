#pragma once

#include "Recording.h"

#include <QByteArray>

// A club crest drawn from its colours and initials, as PNG bytes: a shield,
// a roundel or a rounded badge with a stripe pattern, sized `size` pixels
// square on a transparent background. The same club always gets the same
// crest. Needs a QGuiApplication (for the font).
QByteArray renderCrestPng(const RecordedTeam &team, int size = 96);
