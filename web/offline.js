'use strict';
// After one visit the page's files come from the service worker's copy, so
// the night loads and plays with no network and the page installs as an
// app. The page runs this once the night is on screen, and the worker is
// registered once the page has loaded: its copying of the files never
// delays the first night. Where there can be none (a page opened from a
// file, or from an insecure origin), the page plays as before.
if ('serviceWorker' in navigator) {
  const register = () => navigator.serviceWorker.register('service-worker.js').catch(() => {});
  if (document.readyState === 'complete') register();
  else window.addEventListener('load', register);
}
