#pragma once

#include "app/League.h"
#include "stubserver/StubServer.h"

#include <QByteArray>

// Points the ESPN client at `server` and answers today's fixtures of every
// tracked league with none. Every test that builds the main window needs it:
// the window opens on the live page, which asks all leagues at once, and a
// test must never reach the real service.
inline void useQuietEspn(StubServer &server)
{
    const QByteArray base = server.baseUrl().toUtf8();
    qputenv("TOLVO_ESPN_HOST", base);
    qputenv("TOLVO_ESPN_SEARCH_HOST", base);
    for (const League &league : defaultLeagues())
        server.route(QStringLiteral("/apis/site/v2/sports/soccer/") + league.slug +
                         QStringLiteral("/scoreboard"),
                     StubResponse::json("{\"events\": []}"));
}
