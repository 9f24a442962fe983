#include "overlay/backdrops/backdrop_layer.h"

#include <algorithm>

#include "overlay/backdrops/keywords.h"

namespace lumvo {
namespace {

bool bursting(WordBackdropLayer& layer, Burst burst) {
    bool& done = layer.burstDone[static_cast<std::size_t>(burst)];
    if (done) return false;
    done = true;
    return true;
}

float& accumulator(WordBackdropLayer& layer, Stream stream) {
    return layer.accumulators[static_cast<std::size_t>(stream)];
}

void forgetBackdrop(WordBackdropLayer& layer) {
    layer.burstDone.fill(false);
    layer.accumulators.fill(0);
}

// The clear rule: the backdrop is over. Long-lived particles fade within 0.8 s (a hot post empties
// the pool at once); the rest run to their own end.
void clearBackdrop(WordBackdropLayer& layer, bool hot) {
    layer.postKey.clear();
    forgetBackdrop(layer);
    if (hot) {
        layer.pool.clear();
        return;
    }
    for (BackdropParticle& p : layer.pool)
        if (longLived(p.kind) && p.life > p.age + 0.85f) p.life = p.age + 0.8f;
}

// Whether the switch of the featured post's kind of backdrop is off.
bool switchOff(const FrameState& s) {
    if (s.type == "tip") return !s.tipFx;
    if (s.type == "venue") return !s.venueFx;
    return !s.wordFx;
}

// The streams that spawn n from each side share what is left of the pool between the two sides.
int halfOfRoom(int n, std::size_t poolSize) {
    const long room = static_cast<long>(kBackdropPoolLimit) - static_cast<long>(poolSize);
    return std::min(n, static_cast<int>(std::max(room / 2, 0L)));
}

}  // namespace

void WordBackdropLayer::reset() {
    pool.clear();
    postKey.clear();
    forgetBackdrop(*this);
    wantPictures = false;
}

BackdropTrigger backdropTrigger(const FrameState& s, bool heroActive) {
    BackdropTrigger t;
    const bool shown = heroActive && !s.editMode && !s.hot;
    if (shown && s.wordFx && s.type != "request" && s.type != "tip" && s.type != "vote" && s.type != "venue") {
        t.group = matchKeyword(s.text);
        if (t.group == 0) t.group = matchKeyword(s.name);
    }
    t.tip = shown && s.tipFx && s.type == "tip";
    t.venue = shown && s.venueFx && s.type == "venue";
    t.hearts = t.group == 2 || t.tip;
    t.flames = t.group == 9 || t.venue;
    t.coins = t.group == 14 || t.tip;
    return t;
}

int spawnCount(float& acc, float rate, const FrameState& s, double dt, std::size_t poolSize) {
    const float duration = s.duration;
    const float taper = std::min(duration * 0.34f, 0.95f);
    const auto elapsed = static_cast<float>(s.heroElapsed);
    if (elapsed > duration - taper) rate *= std::max(0.0f, (duration - elapsed) / std::max(taper, 0.12f));
    acc += rate * static_cast<float>(dt);
    const int n = static_cast<int>(acc);
    acc -= static_cast<float>(n);
    const long room = std::max(static_cast<long>(kBackdropPoolLimit) - static_cast<long>(poolSize), 0L);
    return static_cast<int>(std::min<long>(room, n));
}

void stepBackdrops(WordBackdropLayer& layer, CanvasSize c, double dt, const FrameState& s, bool heroActive, bool calm) {
    const BackdropTrigger t = backdropTrigger(s, heroActive);
    if (!t.any()) {
        const bool playing = heroActive && !s.hot;
        // A backdrop whose post has left the card, or whose switch the DJ turned off, is over even
        // while another post is shown: its long-lived particles would otherwise walk on for minutes.
        const bool over = !layer.postKey.empty() && (s.featuredId != layer.postKey || switchOff(s));
        if (!playing || over) clearBackdrop(layer, s.hot);
    } else if (s.featuredId != layer.postKey) {
        layer.postKey = s.featuredId;
        forgetBackdrop(layer);
        for (BackdropParticle& p : layer.pool)
            if (longLived(p.kind)) p.life = std::min(p.life, p.age + 0.45f);
    }

    ParticlePool& pool = layer.pool;
    auto stream = [&](Stream which, float rate) {
        return spawnCount(accumulator(layer, which), rate, s, dt, pool.size());
    };
    const int g = t.group;
    if (g == 1) {
        if (bursting(layer, Burst::birthday)) {
            spawnConfettiCannon(pool, c, 90, true);
            spawnConfettiCannon(pool, c, 90, false);
        }
        const int n = halfOfRoom(stream(Stream::birthday, 32), pool.size());
        if (n >= 1) {
            spawnConfettiCannon(pool, c, n, true);
            spawnConfettiCannon(pool, c, n, false);
        }
    }
    if (t.hearts) {
        if (bursting(layer, Burst::hearts)) spawnHearts(pool, c, 36);
        spawnHearts(pool, c, stream(Stream::hearts, 12));
    }
    if (g == 3 && bursting(layer, Burst::chase)) {
        spawnChase(pool, c);
        layer.wantPictures = true;
    }
    if (g == 4) {
        if (bursting(layer, Burst::cheers)) spawnCheers(pool, c, 28);
        spawnCheers(pool, c, stream(Stream::cheers, 14));
    }
    if (g == 5) {
        if (bursting(layer, Burst::congrats)) spawnStars(pool, c, 24);
        spawnStars(pool, c, stream(Stream::congrats, 10));
    }
    if (g == 6) {
        if (bursting(layer, Burst::dance)) {
            spawnDiscoBalls(pool, c);
            spawnSparkles(pool, c, 18, false);
        }
        const float beat = std::max(0.0f, 28 * (s.pulse - 1));
        spawnSparkles(pool, c, stream(Stream::danceSparkles, 16 + 36 * beat), false);
    }
    if (g == 7) {
        if (bursting(layer, Burst::kiss)) spawnLips(pool, c, 10);
        spawnLips(pool, c, stream(Stream::kiss, 5));
    }
    if (g == 8) {
        if (bursting(layer, Burst::wedding)) {
            spawnRings(pool, c, 10);
            spawnSparkles(pool, c, 16, true);
        }
        spawnRings(pool, c, stream(Stream::weddingRings, 4));
        spawnSparkles(pool, c, stream(Stream::weddingSparkles, 10), true);
    }
    if (t.flames || g == 10) {
        const float rate = t.venue ? 36.0f : (g == 10 ? 28.0f : 22.0f);
        spawnFlames(pool, c, stream(Stream::flames, rate));
    }
    if (g == 10 && !calm) spawnBolts(pool, c, stream(Stream::bolts, 3.2f));
    if (g == 11) {
        if (bursting(layer, Burst::happy)) {
            spawnSunshine(pool, c, 28, true);
            spawnSunshine(pool, c, 28, false);
        }
        const int n = halfOfRoom(stream(Stream::happy, 14), pool.size());
        if (n >= 1) {
            spawnSunshine(pool, c, n, true);
            spawnSunshine(pool, c, n, false);
        }
    }
    if (g == 12) {
        if (bursting(layer, Burst::sad)) spawnRain(pool, c, 40);
        spawnRain(pool, c, stream(Stream::sad, 18));
    }
    if (g == 13 && !calm) {
        if (bursting(layer, Burst::wow)) spawnShockRings(pool, c, 5);
        spawnShockRings(pool, c, stream(Stream::wow, 4.5f));
    } else if (g == 13) {
        if (bursting(layer, Burst::wow)) spawnSparkles(pool, c, 16, true);
        spawnSparkles(pool, c, stream(Stream::wow, 10), true);
    }
    if (t.coins) {
        if (bursting(layer, Burst::coins)) spawnCoins(pool, c, 22);
        spawnCoins(pool, c, stream(Stream::coins, 12));
    }
    if (g == 15 && bursting(layer, Burst::shots)) spawnShots(pool, c);
    if (g == 16) {
        if (bursting(layer, Burst::sing)) spawnNotes(pool, c, 16);
        spawnNotes(pool, c, stream(Stream::sing, 8));
    }
    if (g == 17) {
        if (bursting(layer, Burst::home)) {
            spawnHouses(pool, c);
            spawnSparkles(pool, c, 12, true);
        }
        spawnSparkles(pool, c, stream(Stream::homeSparkles, 6), true);
    }

    updateParticles(pool, c, static_cast<float>(dt));
}

}  // namespace lumvo
