#pragma once

#include "ai/Predictor.h"
#include "data/EspnApi.h"
#include "model/Match.h"
#include "model/Prediction.h"

#include <QString>

#include <utility>

// The joins between the sports data and the model. All three block and run
// on worker threads; they keep no state of their own.

// What the model is shown about `match` at thinking depth `depth`: each
// side's latest results and the two teams' meetings, as buildContext() text.
// A side without a team id contributes no results.
QString gatherContext(const EspnApi &api, const Match &match, const QString &depth);

// The quick prediction of `match` and the context it was made from; the
// caller keeps the context for the reasoning call later.
std::pair<Prediction, QString> predictMatch(const EspnApi &api, const Predictor &predictor,
                                            const Match &match, const QString &depth);

// `prediction` with the final score of its fixture filled in. Throws
// ApiError with a message for the user when there is no final score yet.
Prediction checkResult(const EspnApi &api, const Prediction &prediction);
