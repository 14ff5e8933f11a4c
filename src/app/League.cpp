#include "League.h"

const QList<League> &defaultLeagues()
{
    // A function-local static is initialised once, thread-safely.
    static const QList<League> leagues = {
        {QStringLiteral("eng.1"), QStringLiteral("Premier League"), QStringLiteral("England")},
        {QStringLiteral("eng.2"), QStringLiteral("Championship"), QStringLiteral("England")},
        {QStringLiteral("ger.1"), QStringLiteral("Bundesliga"), QStringLiteral("Germany")},
        {QStringLiteral("ger.2"), QStringLiteral("2. Bundesliga"), QStringLiteral("Germany")},
        {QStringLiteral("esp.1"), QStringLiteral("La Liga"), QStringLiteral("Spain")},
        {QStringLiteral("esp.2"), QStringLiteral("La Liga 2"), QStringLiteral("Spain")},
        {QStringLiteral("fra.1"), QStringLiteral("Ligue 1"), QStringLiteral("France")},
        {QStringLiteral("por.1"), QStringLiteral("Primeira Liga"), QStringLiteral("Portugal")},
        {QStringLiteral("tur.1"), QString::fromUtf8("S\xc3\xbcper Lig"), QStringLiteral("Turkey")},
        {QStringLiteral("bel.1"), QStringLiteral("Belgian Pro League"), QStringLiteral("Belgium")},
        {QStringLiteral("sco.1"), QStringLiteral("Scottish Premiership"), QStringLiteral("Scotland")},
    };
    return leagues;
}
