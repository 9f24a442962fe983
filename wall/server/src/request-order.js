// The order of the waiting song requests: in turns between the phones that asked, so one table
// asking for ten songs does not bury everyone else's one.
//
// Each phone's oldest waiting request is in the first turn, its next in the second, and so on
// (by when that phone asked). A request several phones asked for takes the earliest turn among
// its askers. Within a turn, more askers first, then the oldest request. Requests the DJ has
// marked (played, refused) have had their turn: they come after all the others, in the same
// order among themselves, and take no phone's turn.

// requests: waiting request posts ({ id, deviceId, mark, count, createdAt }); askers: rows
// { post_id, device_id, at, seq } of those requests (seq: the order they were written in), in
// any order. Returns the requests in order.
export function fairOrder(requests, askers) {
  const open = requests.filter((p) => !p.mark);
  const byPost = new Map(open.map((p) => [p.id, []]));
  for (const a of askers) byPost.get(a.post_id)?.push(a);
  // A phone's asks, oldest first; a request with no asker row (written before askers were kept)
  // counts as its sender's, at its own time.
  const byPhone = new Map();
  for (const p of open) {
    const rows = byPost.get(p.id);
    if (rows.length === 0 && p.deviceId) rows.push({ post_id: p.id, device_id: p.deviceId, at: p.createdAt, seq: 0 });
    for (const a of rows) {
      let list = byPhone.get(a.device_id);
      if (!list) byPhone.set(a.device_id, (list = []));
      list.push({ at: a.at, seq: a.seq ?? 0, id: p.id });
    }
  }
  const turn = new Map();
  for (const list of byPhone.values()) {
    list.sort((x, y) => x.at - y.at || x.seq - y.seq);
    list.forEach((x, i) => turn.set(x.id, Math.min(turn.get(x.id) ?? Infinity, i)));
  }
  const turnOf = (p) => turn.get(p.id) ?? Infinity;
  const within = (a, b) => b.count - a.count || a.createdAt - b.createdAt || (a.id < b.id ? -1 : 1);
  open.sort((a, b) => turnOf(a) - turnOf(b) || within(a, b));
  const marked = requests.filter((p) => p.mark).sort(within);
  return [...open, ...marked];
}
