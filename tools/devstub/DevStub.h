#pragma once

#include "EspnReplies.h"
#include "ModelReplies.h"
#include "Recording.h"
#include "Replay.h"

#include "stubserver/StubServer.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QString>

#include <cstdint>
#include <functional>

// The whole offline world of tolvo-devstub behind one request handler: the
// ESPN endpoints the program reads, generated crests, and an OpenAI-style
// model. Answers are worked out per request from the replayed recording,
// so live fixtures move on between two requests.
class DevStub
{
public:
    struct Options
    {
        double speed = 1.0;     // how much faster than the wall clock today's matches run
        std::uint64_t seed = 1; // made-up scores, goal minutes and model answers
        int latencyMs = 0;      // added to every answer
        int crestSize = 96;     // pixels square
    };

    DevStub(Recording recording, const QDateTime &start, const Options &options);
    DevStub(const DevStub &) = delete;
    DevStub &operator=(const DevStub &) = delete;

    const Recording &recording() const { return m_recording; }
    const Replay &replay() const { return m_replay; }

    // The address crests are served from when a request names no usable
    // Host ("http://127.0.0.1:PORT").
    void setBaseUrl(const QString &baseUrl) { m_baseUrl = baseUrl; }
    // Receives one line per request.
    void setLogger(std::function<void(const QString &)> logger) { m_logger = std::move(logger); }

    StubResponse respond(const StubRequest &request);
    StubResponse respond(const StubRequest &request, const QDateTime &now);

private:
    StubResponse route(const StubRequest &request, const QDateTime &now);
    StubResponse crest(const QString &name);
    QString baseFor(const StubRequest &request) const;

    Recording m_recording; // declared first: the members below refer to it
    Replay m_replay;
    EspnReplies m_espn;
    ModelReplies m_model;
    Options m_options;
    QString m_baseUrl = QStringLiteral("http://127.0.0.1");
    std::function<void(const QString &)> m_logger;

    QMutex m_crestMutex;
    QHash<QString, QByteArray> m_crests; // file name → PNG
};
