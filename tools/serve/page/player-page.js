// The page `playgraph export-player` writes: player.json names the story,
// its media and the package, all relative to this page.

import { createPlayer } from './player.js';

const answer = await fetch('player.json');
const site = await answer.json();
const story = {
  text: await (await fetch(site.story)).text(),
  defaultViewableId: site.defaultViewableId,
};
document.getElementById('title').textContent = site.title;
document.title = site.title;
window.playgraphPlayer = await createPlayer(document.getElementById('player'), {
  packageUrl: new URL(site.package, document.baseURI).href,
  story,
  mediaUrl: (id) => site.media[id],
  storageKey: `playgraph-play:${site.title}`,
});
