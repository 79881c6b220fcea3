// Talking to the server's JSON API, and the message line that shows its
// refusals.

import { $ } from './dom.js';

const token = document.querySelector('meta[name="playgraph-token"]').content;

export async function api(path, body) {
  const options =
    body === undefined
      ? {}
      : {
          method: 'POST',
          headers: { 'Content-Type': 'application/json', 'X-Playgraph-Token': token },
          body: JSON.stringify(body),
        };
  const response = await fetch(path, options);
  let data;
  try {
    data = await response.json();
  } catch {
    data = { error: `${response.status} ${response.statusText}` };
  }
  if (!response.ok) {
    const error = new Error(data.error || response.statusText);
    error.status = response.status;
    throw error;
  }
  return data;
}

export function showMessage(text, isError) {
  const box = $('message');
  box.textContent = text;
  box.className = isError ? 'error' : '';
  box.hidden = !text;
}

// Runs an action; a refusal is shown with the server's (the library's) message.
export async function attempt(action) {
  try {
    await action();
  } catch (error) {
    showMessage(error.message, true);
  }
}
