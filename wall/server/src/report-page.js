// The night's report as one printable page: nothing outside it (styles inline, thumbnails as data
// addresses), so the DJ can save it or print it to PDF and send it as it is. Every text a guest
// wrote is escaped.

const esc = (s) => String(s ?? '').replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);

// Times in the zone of the PC the wall runs on (the venue's).
const clock = (ms) => new Date(ms).toLocaleTimeString('en-GB', { hour: '2-digit', minute: '2-digit' });
const day = (ms) => new Date(ms).toLocaleString('en-GB', { weekday: 'short', day: 'numeric', month: 'short', year: 'numeric', hour: '2-digit', minute: '2-digit' });

export const COUNT_LABELS = [
  ['phones', 'Phones that joined in'], ['posts', 'Shout-outs'], ['photos', 'Photos'], ['requests', 'Song requests'],
  ['votes', 'Votes'], ['tips', 'Tips'], ['reactions', 'Reactions'],
];

const STYLE = `
body{font:15px/1.45 system-ui,-apple-system,"Segoe UI",sans-serif;color:#1d1b24;margin:0 auto;max-width:980px;padding:24px}
h1{font-size:28px;margin:0}h2{font-size:19px;margin:28px 0 8px;border-bottom:2px solid #ff7a18;padding-bottom:4px}
.when{color:#5c5870;margin:4px 0 16px}
.counts{display:grid;grid-template-columns:repeat(auto-fill,minmax(120px,1fr));gap:8px;margin:0;padding:0;list-style:none}
.counts li{border:1px solid #d9d5e4;border-radius:8px;padding:8px 10px}.counts b{display:block;font-size:24px}
table{border-collapse:collapse;width:100%}td,th{text-align:left;padding:4px 8px;border-bottom:1px solid #e6e3ee;vertical-align:top}
th{font-size:13px;color:#5c5870}td.t{white-space:nowrap;color:#5c5870;width:4em}td.n{text-align:right;width:4em}
.mark{font-size:12px;font-weight:700;border-radius:4px;padding:1px 6px}.played{background:#d1fae5;color:#065f46}.refused{background:#ffe4e6;color:#9f1239}
.poll{margin:0 0 12px}.poll ul{margin:4px 0;padding-left:20px}.win{font-weight:700}
.album{display:grid;grid-template-columns:repeat(auto-fill,minmax(150px,1fr));gap:10px}
figure{margin:0;break-inside:avoid}figure img,.none{width:100%;height:150px;object-fit:cover;border-radius:6px;background:#eeeaf4;display:block}
.none{display:flex;align-items:center;justify-content:center;color:#5c5870;font-size:13px}figcaption{font-size:12px;color:#5c5870}
.empty{color:#5c5870}
@media print{body{padding:0}h2{break-after:avoid}}
`;

const section = (title, items, render, empty) => `<h2>${esc(title)}</h2>${items.length ? render(items) : `<p class="empty">${esc(empty)}</p>`}`;

// report: nightReport(); thumbs: post id -> thumbnail bytes (JPEG) for the album.
export function reportPage(report, thumbs) {
  const { counts } = report;
  const parts = [];
  parts.push(`<h1>The night on the wall</h1><p class="when">${esc(day(report.since))} to ${esc(day(report.until))}</p>`);
  parts.push(`<ul class="counts">${COUNT_LABELS.map(([k, label]) => `<li><b>${counts[k]}</b>${esc(label)}</li>`).join('')}</ul>`);
  parts.push(section('Shout-outs on the wall', report.shoutouts, (list) => `<table><tbody>${list.map((s) => (
    `<tr><td class="t">${clock(s.at)}</td><td><b>${esc(s.name || 'Guest')}</b> ${esc(s.text)}</td></tr>`)).join('')}</tbody></table>`,
  'No shout-outs went on the wall.'));
  parts.push(section('Song requests', report.requests, (list) => `<table><thead><tr><th>Time</th><th>Song</th><th>Asked</th><th></th></tr></thead><tbody>${list.map((r) => (
    `<tr><td class="t">${clock(r.at)}</td><td>${esc(r.song)}</td><td class="n">${r.count}×</td><td>${r.mark ? `<span class="mark ${r.mark}">${r.mark === 'played' ? 'Played' : 'Refused'}</span>` : ''}</td></tr>`
  )).join('')}</tbody></table>`, 'No songs were asked for.'));
  parts.push(section('Polls', report.polls, (list) => list.map((p) => {
    const total = p.options.reduce((n, o) => n + o.votes, 0);
    const result = p.running ? 'still running' : p.winner ? `winner: ${esc(p.winner)}` : 'no winner';
    return `<div class="poll"><b>${esc(p.title)}</b> <span class="t">${clock(p.at)}</span> · ${total} vote${total === 1 ? '' : 's'} · ${result}<ul>${p.options.map((o) => (
      `<li${o.label === p.winner ? ' class="win"' : ''}>${esc(o.label)}: ${o.votes}</li>`)).join('')}</ul></div>`;
  }).join(''), 'No polls ran.'));
  parts.push(section('Album', report.album, (list) => `<div class="album">${list.map((a) => {
    const t = thumbs.get(a.id);
    const img = t ? `<img src="data:image/jpeg;base64,${t.toString('base64')}" alt="${esc(a.caption || `Photo by ${a.name || 'a guest'}`)}">` : `<div class="none">${a.file ? 'Photo in the zip' : 'No picture'}</div>`;
    return `<figure>${img}<figcaption>${clock(a.at)} · ${esc(a.name || 'Guest')}${a.caption ? ` · ${esc(a.caption)}` : ''}</figcaption></figure>`;
  }).join('')}</div>`, 'No photos went on the wall.'));
  return `<!doctype html><html lang="en"><head><meta charset="utf-8"><meta name="viewport" content="width=device-width, initial-scale=1">
<title>The night on the wall</title><style>${STYLE}</style></head><body>${parts.join('\n')}</body></html>`;
}
