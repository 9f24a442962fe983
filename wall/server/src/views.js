// What the documents and the phones are built from: the engine's state at one moment, after the
// clock has been advanced to it.

import { LIMITS, SHORT_EMOJIS } from './text.js';
import { tipLinksFor } from './settings.js';
import { PHOTO_MAX } from './images.js';
import { tallyList, tallyText } from './reactions.js';
import { summaryText } from './polls.js';

export const FEED_PACKED_MAX = 30;
export const STATE_LIST_MAX = 200;
export const GUEST_LIVE_MAX = 50;

export const NAME_COLORS = Object.freeze(['#ff7a18', '#a855f7', '#22d3ee', '#f472b6', '#34d399', '#facc15', '#60a5fa', '#fb7185']);

// valid (optional): { until }, lowered to the moment a post shown hot here stops being hot, when
// a document built now would show something else with no change but the clock's.
const withLiveFields = (wall, p, now, valid) => {
  const hot = wall.reactions.shownHot(p.id, now);
  if (hot && valid) valid.until = Math.min(valid.until, wall.reactions.hotUntil(p.id, now) || now);
  return { ...p, reactions: tallyText(wall.reactions.tally(p.id)), hot };
};

// For documents.js displayDocument; valid: as for withLiveFields.
export function displayView(wall, joinUrl, valid) {
  const now = wall.clock();
  wall.tick(now);
  const f = wall.featured.current ? wall.posts.byId.get(wall.featured.current.id) : null;
  return {
    featured: f ? withLiveFields(wall, f, now, valid) : null,
    settings: wall.settings,
    joinUrl,
    feed: wall.posts.live.slice(-FEED_PACKED_MAX).map((p) => withLiveFields(wall, p, now, valid)),
    poll: wall.polls.view(now),
    tipEnabled: tipLinksFor(wall.settings).length > 0,
  };
}

// For documents.js stateDocument; valid: as for withLiveFields.
export function stateView(wall, valid) {
  const now = wall.clock();
  wall.tick(now);
  const { pending, requests, tips, rejected } = wall.posts.lists();
  const featuredId = wall.featured.currentId;
  const feed = wall.posts.live.slice(-STATE_LIST_MAX).map((p) => ({ ...withLiveFields(wall, p, now, valid), featured: p.id === featuredId }));
  const blocked = [...wall.devices.values()].filter((d) => d.blockedAt).sort((a, b) => a.blockedAt - b.blockedAt)
    .map((d) => ({ id: `b_${d.handle}`, type: 'shoutout', name: d.name, text: '', photo: '', createdAt: d.blockedAt, lastAt: d.blockedAt }));
  const poll = wall.polls.view(now);
  const look = wall.looks.current();
  return {
    voteActive: !!poll,
    venuePin: wall.venuePin,
    guestBgStatus: `${look.name} is on phones`,
    guestLookActive: look.id,
    vdjSearch: wall.vdjSearch,
    repeatMessages: wall.settings.repeatMessages,
    voteTitle: poll ? poll.record.title : '',
    voteRemain: poll ? Math.round(poll.remain * 10) / 10 : 0,
    voteClosed: poll ? poll.phase === 'closed' : false,
    voteSummary: poll ? summaryText(poll.record, poll.counts, now) : '',
    autoApprove: wall.settings.autoApprove,
    autoApproveDelaySec: wall.settings.autoApproveDelaySec,
    guestLooks: wall.looks.all(),
    pending, requests, tips,
    rejected: rejected.slice(-STATE_LIST_MAX),
    feed, blocked,
  };
}

// GET /api/guest/config
export function guestConfig(wall, deviceId, isVenue) {
  const now = wall.clock();
  wall.tick(now);
  const s = wall.settings;
  const d = wall.device(deviceId);
  const links = tipLinksFor(s);
  return {
    device: { name: d?.name ?? '', color: d?.color ?? '', blocked: !!d?.blockedAt, venue: !!isVenue },
    allow: {
      messages: s.allowMessages, requests: s.allowRequests, photos: s.allowPhotos,
      tips: links.length > 0, tipMessages: links.length > 0 && s.showTipsOnWall,
      reactions: s.allowReactions, allEmojis: s.allowAllEmojis, multipleEmojis: s.allowMultipleEmojis,
      unlimitedVoting: s.allowUnlimitedVoting, guestColors: s.allowGuestColors,
    },
    emojis: SHORT_EMOJIS,
    nameColors: s.allowGuestColors ? NAME_COLORS : [],
    theme: s.theme,
    look: wall.looks.current(),
    tipLinks: links,
    brandUrl: s.brandUrl,
    poll: wall.polls.guestView(deviceId, now),
    featuredId: wall.featured.currentId,
    limits: { name: LIMITS.name, text: LIMITS.text, request: LIMITS.request, photoBytes: PHOTO_MAX },
    autoApprove: s.autoApprove,
    autoApproveDelaySec: s.autoApproveDelaySec,
  };
}

// GET /api/guest/live
export function guestLive(wall, deviceId) {
  const now = wall.clock();
  wall.tick(now);
  const posts = wall.posts.live.slice(-GUEST_LIVE_MAX).reverse().map((p) => ({
    id: p.id, type: p.type, name: p.name, text: p.text, photo: p.photo, color: p.color,
    hot: wall.reactions.shownHot(p.id, now), createdAt: p.createdAt,
    reactions: tallyList(wall.reactions.tally(p.id)),
    mine: wall.reactions.mine(p.id, deviceId),
  }));
  return { featuredId: wall.featured.currentId, posts };
}
