// A post is hot while at least `need` reactions arrived within the last `windowSec` seconds.

export function isHot(reactionTimes, now, need, windowSec) {
  if (!reactionTimes || reactionTimes.length < need) return false;
  const since = now - windowSec * 1000;
  let n = 0;
  for (const t of reactionTimes) {
    if (t > since && ++n >= need) return true;
  }
  return false;
}

// The reactions text of the wall: "emoji:count" items, highest count first, joined by ",".
export function tallyText(tally) {
  return tallyList(tally).map((r) => `${r.emoji}:${r.count}`).join(',');
}

export function tallyList(tally) {
  return [...tally.entries()]
    .filter(([, c]) => c > 0)
    .sort((a, b) => b[1] - a[1])
    .map(([emoji, count]) => ({ emoji, count }));
}
