// The Play view of `playgraph serve`: the story as the server holds it,
// played on its media by player.js, with the playing segment marked in the
// graph.

import { createPlayer } from './player.js';

let playing;

// Marks the playing segment's node; again after the graph is redrawn.
function highlight() {
  for (const node of document.querySelectorAll('#graph g.node')) {
    const title = node.querySelector('title')?.textContent;
    node.classList.toggle('playing', title !== undefined && title === playing);
  }
}

async function setUpPlay() {
  const root = document.getElementById('player');
  if (!root) return;
  const token = document.querySelector('meta[name="playgraph-token"]').content;
  const answers = await Promise.all(['/api/story', '/api/media'].map((url) => fetch(url)));
  const [story, media] = await Promise.all(answers.map((answer) => answer.json()));
  const urls = new Map(
    media.media.map((m) => [
      m.viewable,
      m.local ? `${m.url}?token=${encodeURIComponent(token)}` : m.url,
    ]),
  );
  new MutationObserver(highlight).observe(document.getElementById('graph'), { childList: true });
  const name = JSON.parse(story.text).playgraphId ?? 'story';
  window.playgraphPlayer = await createPlayer(root, {
    packageUrl: '/pkg/index.js',
    story,
    mediaUrl: (id) => urls.get(id),
    storageKey: `playgraph-play:${name}`,
    // Restart plays the story as edited since.
    reloadStory: async () => (await fetch('/api/story')).json(),
    onSegment: (id) => {
      playing = id;
      highlight();
    },
  });
}

setUpPlay().catch((error) => console.error(`playgraph: the Play view: ${error.message}`));
