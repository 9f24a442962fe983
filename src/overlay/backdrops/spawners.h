#pragma once
// The spawners of the word backdrops: each appends particles to the pool with their starting
// values, drawing from the overlay's particle generator (overlay/particle_random.h) in the order
// the fields are set, so that a run is the same from process start. W and H are the canvas size.
// A count below 1 adds nothing; the four fixed sets take no count.
#include "overlay/backdrops/particles.h"

namespace lumvo {

struct CanvasSize {
    float w = 1280, h = 720;
};

void spawnConfettiCannon(ParticlePool& pool, CanvasSize c, int count, bool fromLeft);
void spawnHearts(ParticlePool& pool, CanvasSize c, int count);
void spawnChase(ParticlePool& pool, CanvasSize c);              // 7 peaches, then 9 aubergines
void spawnCheers(ParticlePool& pool, CanvasSize c, int count);  // max(count / 3, 1) glasses, the rest streamers
void spawnStars(ParticlePool& pool, CanvasSize c, int count);
void spawnDiscoBalls(ParticlePool& pool, CanvasSize c);  // 4
void spawnSparkles(ParticlePool& pool, CanvasSize c, int count, bool rising);
void spawnLips(ParticlePool& pool, CanvasSize c, int count);
void spawnRings(ParticlePool& pool, CanvasSize c, int count);
void spawnFlames(ParticlePool& pool, CanvasSize c, int count);
void spawnBolts(ParticlePool& pool, CanvasSize c, int count);
void spawnSunshine(ParticlePool& pool, CanvasSize c, int count, bool fromLeft);
void spawnRain(ParticlePool& pool, CanvasSize c, int count);
void spawnShockRings(ParticlePool& pool, CanvasSize c, int count);
void spawnCoins(ParticlePool& pool, CanvasSize c, int count);
void spawnShots(ParticlePool& pool, CanvasSize c);  // 6 shot glasses, then 7 limes
void spawnNotes(ParticlePool& pool, CanvasSize c, int count);
void spawnHouses(ParticlePool& pool, CanvasSize c);  // 4

}  // namespace lumvo
