#!/usr/bin/env python3
"""Probability scores of a Tolvo history.json, computed apart from the program.

    score_history.py score HISTORY.json            the figures as JSON
    score_history.py check HISTORY.json STATS.json compare with `tolvo-cli --json stats`
    score_history.py make SCOREBOARD.json... OUT   a history of the finished matches in
                                                   ESPN scoreboard replies, with made-up
                                                   but fixed model and market chances

Written from the definitions, not from the C++ code, so that the two can check
each other: RPS = ((p0-y0)^2 + (p0+p1-y0-y1)^2) / 2, Brier = sum (pi-yi)^2,
log loss = -ln(max(p_o, 0.001)), a hit when the most likely outcome happened
(the first of home, draw, away on a tie); negative percentages count as 0.
Only calls made before kick-off ("pre" or no state) are scored.
"""
import json
import math
import random
import sys

BASE_RATE = (0.46, 0.26, 0.28)
TOLERANCE = 0.0005


def outcome(p):
    h, a = p.get("actual_home_score"), p.get("actual_away_score")
    if not isinstance(h, int) or not isinstance(a, int) or h < 0 or a < 0:
        return None
    return 0 if h > a else (2 if h < a else 1)


def norm(values):
    values = [max(v, 0) for v in values]
    s = sum(values)
    return [v / s for v in values] if s > 0 else None


def scores(p, o):
    y = [1.0 if i == o else 0.0 for i in range(3)]
    rps = ((p[0] - y[0]) ** 2 + (p[0] + p[1] - y[0] - y[1]) ** 2) / 2
    brier = sum((p[i] - y[i]) ** 2 for i in range(3))
    loss = -math.log(max(p[o], 0.001))
    hit = 1.0 if max(range(3), key=lambda i: p[i]) == o else 0.0
    return rps, brier, loss, hit


def means(rows):
    if not rows:
        return {"n": 0, "rps": None, "brier": None, "log_loss": None, "hit_rate": None}
    n = len(rows)
    return {"n": n, **{k: sum(r[i] for r in rows) / n for i, k in enumerate(("rps", "brier", "log_loss", "hit_rate"))}}


def score(history):
    model, base, market, diffs, model_on_market, in_play = [], [], [], [], [], []
    for p in history:
        o = outcome(p)
        pct = [p.get("home_win_pct", 0), p.get("draw_pct", 0), p.get("away_win_pct", 0)]
        probs = norm([v if isinstance(v, (int, float)) else 0 for v in pct])
        if o is None or probs is None:
            continue
        if p.get("kickoff_state", "") not in ("", "pre"):
            in_play.append(scores(probs, o))
            continue
        model.append(scores(probs, o))
        base.append(scores(BASE_RATE, o))
        m = [p.get("market_home_pct"), p.get("market_draw_pct"), p.get("market_away_pct")]
        if all(isinstance(v, (int, float)) for v in m) and norm(m):
            ms = scores(norm(m), o)
            market.append(ms)
            model_on_market.append(model[-1])
            diffs.append(model[-1][0] - ms[0])
    out = {"scoring": means(model), "base_rate": means(base), "market": means(market), "in_play": means(in_play)}
    n = len(diffs)
    out["market"]["model_rps"] = means(model_on_market)["rps"]
    z = None
    if n > 1:
        mean = sum(diffs) / n
        sd = math.sqrt(sum((d - mean) ** 2 for d in diffs) / (n - 1))
        if sd > 0:
            z = mean / (sd / math.sqrt(n))
    out["market"]["z"] = z
    return out


def check(history_path, stats_path):
    mine = score(json.load(open(history_path)))
    stats = json.load(open(stats_path))
    theirs = {"scoring": stats["scoring"], "base_rate": stats["baselines"]["base_rate"],
              "market": stats["baselines"]["market"], "in_play": stats["in_play"]}
    worst, failed = 0.0, False
    for group, figures in mine.items():
        for key, value in figures.items():
            other = theirs[group].get(key, "absent")
            if other == "absent":
                continue
            if value is None or other is None:
                ok = value is None and other is None
                diff = 0.0
            else:
                diff = abs(value - other)
                worst = max(worst, diff)
                ok = diff <= TOLERANCE
            failed |= not ok
            print(f"{'ok  ' if ok else 'DIFF'} {group}.{key}: independent {value} / tolvo-cli {other}")
    print(f"largest difference {worst:.2e} (tolerance {TOLERANCE})")
    return 1 if failed else 0


def make(scoreboards, out_path):
    rng = random.Random(16)
    history = []
    for path in scoreboards:
        for event in json.load(open(path)).get("events", []):
            comp = event["competitions"][0]
            if not comp["status"]["type"].get("completed"):
                continue
            sides = {c["homeAway"]: c for c in comp["competitors"]}
            home, away = int(sides["home"]["score"]), int(sides["away"]["score"])
            # Made-up bookmakers' chances (outcomes are the real ones), the model a noisier copy.
            h = rng.uniform(0.2, 0.65)
            d = rng.uniform(0.2, min(0.32, 0.95 - h))
            market = [h, d, 1 - h - d]
            model = [max(1, round(100 * (v + rng.gauss(0, 0.08)))) for v in market]
            i = len(history)
            p = {"match_label": sides["home"]["team"]["displayName"] + " vs " + sides["away"]["team"]["displayName"],
                 "match_id": event["id"], "home_win_pct": model[0], "draw_pct": model[1], "away_win_pct": model[2],
                 "outcome": ["HOME", "DRAW", "AWAY"][model.index(max(model))],
                 "actual_home_score": home, "actual_away_score": away,
                 "created_at": event["date"][:16].replace("Z", "") + ":00"}
            if i % 7 != 6:  # every seventh an old record without the newer keys
                p["kickoff_state"] = "in" if i % 10 == 9 else "pre"
                if i % 4 != 3:
                    p.update(market_home_pct=round(100 * market[0], 1), market_draw_pct=round(100 * market[1], 1),
                             market_away_pct=round(100 * market[2], 1), market_provider="Made-up Book")
            history.append(p)
    json.dump(history, open(out_path, "w"), indent=1)
    print(f"{len(history)} finished matches written to {out_path}")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "score":
        print(json.dumps(score(json.load(open(sys.argv[2]))), indent=1))
    elif len(sys.argv) == 4 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    elif len(sys.argv) >= 4 and sys.argv[1] == "make":
        sys.exit(make(sys.argv[2:-1], sys.argv[-1]))
    else:
        sys.exit(__doc__)
