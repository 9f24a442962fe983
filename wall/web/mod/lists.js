// The moderator page's lists and their buttons, as data: the moderator window's lists and buttons
// (tests/contract/booth-actions.json, which the wall server's tests check this file against).
// `action` is the window's name for a button. The window's View photo is the row's thumbnail here,
// and its Search, which runs the host's song search on the PC, asks the wall server to hand the
// song to the host. Kept free of the page, so that the tests can import it.

// key: the moderation document's array that fills the list.
export const LISTS = {
  messages: { key: 'pending', label: 'Messages', empty: 'No messages waiting.', hint: 'Shout-outs and photos waiting for you. ⚑ marks a word the word filter found; those always wait for you.' },
  requests: { key: 'requests', label: 'Requests', empty: 'No song requests.', hint: 'In turns: every phone\'s first request, then every phone\'s second, and so on; most asked first within a turn. Played and Refuse toggle their mark.' },
  tips: { key: 'tips', label: 'Tips', empty: 'No tips waiting.', hint: 'Check the money in your app, then Approve & show. Coins and hearts play on the wall.' },
  rejected: { key: 'rejected', label: 'Rejected', empty: 'Nothing rejected.', hint: 'Restore sends a post back to its queue.' },
  live: { key: 'feed', label: 'Live', empty: 'Nothing on the wall yet.', hint: 'What is on the wall now.' },
  blocked: { key: 'blocked', label: 'Blocked', empty: 'No blocked phones.', hint: 'Unblock lets that phone send again.' },
};

// One button: label, the request's path, the status line after it (done), its look (primary,
// danger). mark: sets that mark on a request, or takes it off ("Mark taken off.") when the request
// has it already. confirm: asks first. notForTypes: rows of these post types never get the button
// (a vote result comes from no phone: there is nobody to block).
const show = { action: 'show', label: 'Approve & show', path: '/api/show', done: 'On the wall.', look: 'primary' };
const reject = { action: 'reject', label: 'Reject', path: '/api/reject', done: 'Rejected.' };
const block = { action: 'block', label: 'Block', path: '/api/block', look: 'danger', confirm: true, notForTypes: ['vote'] };
const unblock = { action: 'unblock', label: 'Unblock', path: '/api/unblock', done: 'Unblocked.' };

// After the waiting lists' own buttons: everything the post's phone, or its network address, has
// waiting goes at once (a phone or a script that floods the queue).
const rejectAll = { look: 'danger', confirm: true, notForTypes: ['vote'] };
const BULK = [
  { ...rejectAll, action: 'rejectPhone', label: 'Reject all from phone', path: '/api/reject-phone' },
  { ...rejectAll, action: 'rejectAddress', label: 'Reject all from network', path: '/api/reject-address' },
];
export const isBulk = (button) => BULK.includes(button);

// The buttons on each row of a list, left to right.
export const ROW_BUTTONS = {
  messages: [show, reject, block, ...BULK],
  requests: [
    { action: 'search', label: 'Search', path: '/api/vdj-search', done: 'Searching VirtualDJ…' },
    { action: 'markPlayed', label: 'Played', path: '/api/request-mark', mark: 'played', done: 'Marked played.' },
    { action: 'markRefuse', label: 'Refuse', path: '/api/request-mark', mark: 'refuse', done: 'Marked refused.' },
    { action: 'drop', label: 'Clear', path: '/api/drop', done: 'Request cleared.' },
    block,
    ...BULK,
  ],
  tips: [show, reject, block, ...BULK],
  rejected: [{ action: 'restore', label: 'Restore', path: '/api/restore', done: 'Restored.' }, block, unblock],
  live: [
    { action: 'highlight', label: 'Show again', path: '/api/highlight', done: 'Back on the big card next.', look: 'primary' },
    { action: 'remove', label: 'Remove', path: '/api/remove', done: 'Removed from the wall.' },
    block,
  ],
  blocked: [{ ...unblock, look: 'primary' }],
};

// Buttons of a whole list, beside its hint.
export const LIST_BUTTONS = {
  blocked: [{ action: 'unblockAll', label: 'Unblock all', path: '/api/unblock', body: { all: true }, done: 'Everyone unblocked.', confirm: true }],
};

// The row at the top of the page (the window's Settings tab row).
export const WALL_BUTTONS = [
  { action: 'showNext', label: 'Show next', path: '/api/next', body: {}, done: 'Next post on the big card.' },
  { action: 'skip', label: 'Skip', path: '/api/skip', body: {}, done: 'Big card skipped.' },
  { action: 'clearChat', label: 'Clear chat', path: '/api/clear', body: {}, done: 'Chat cleared.' },
];

// Whether a row of `post` gets the button.
export const offered = (button, post) => !button.notForTypes?.includes(post.type);

// The body a row's button sends for `post`.
export function rowBody(button, post) {
  if (!button.mark) return { id: post.id };
  return { id: post.id, mark: post.mark === button.mark ? '' : button.mark };
}
