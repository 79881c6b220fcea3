// Building elements and writing times.

export const $ = (id) => document.getElementById(id);

export function secondsText(value) {
  return value === null || value === undefined ? '?' : value.toFixed(3);
}

// m:ss.mmm, and h:mm:ss.mmm from an hour on.
export function clockText(value) {
  if (value === null || !isFinite(value)) return '?';
  const sign = value < 0 ? '-' : '';
  const ms = Math.round(Math.abs(value) * 1000);
  const hours = Math.floor(ms / 3600000);
  const minutes = Math.floor(ms / 60000) % 60;
  const rest = ((ms % 60000) / 1000).toFixed(3).padStart(6, '0');
  return hours
    ? `${sign}${hours}:${String(minutes).padStart(2, '0')}:${rest}`
    : `${sign}${minutes}:${rest}`;
}

export function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'onclick') node.addEventListener('click', value);
    else if (key === 'text') node.textContent = value;
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}
