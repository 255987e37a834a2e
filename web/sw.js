// SPDX-License-Identifier: Zlib
// The service worker (the build fills in the names): keeps one build's files, the
// whole set or none, so that the game starts with no network. The page registers
// it once the game has downloaded, and the browser compares this file on each
// visit: a new deployment gives a new sw.js, which keeps the new set before it
// takes over, then drops the old one.
//
// Answers: a file whose name carries its content's hash, from whichever kept
// set holds it (the same name is always the same bytes), else from the network;
// the page itself (index.html) and the licences from the network when it answers
// within NETWORK_MS, so an online start always gets the newest deployment, else
// from the kept set, whose index.html names only files kept beside it.
'use strict';
const BUILD = '@BUILD@';
const VERSION = '@VERSION@';
const PAGE = '@PAGE@';
const FILES = '@OFFLINE@'.split(' ');
// Caches belong to the whole origin: the name tells this site's (its scope) apart
// from another copy's on the same host.
const SET = 'bramble ' + self.registration.scope + ' ';
const CACHE = SET + BUILD;
const HASHED = /\.[0-9a-f]{10}\.[a-z]+$/;
const NETWORK_MS = 4000;

async function keep() {
  const cache = await caches.open(CACHE);
  try {
    // The hashed files may come from the browser's cache (they never change);
    // the others are asked of the server.
    await cache.addAll(FILES.map((name) =>
      new Request(name, { cache: HASHED.test(name) ? 'default' : 'no-cache' })));
    // A host caught between two deployments may send another build's index.html:
    // keeping it would start half of one version.
    const page = await (await cache.match('index.html')).text();
    if (!page.includes(PAGE)) throw new Error('index.html is not the page of ' + VERSION);
  } catch (e) {
    await caches.delete(CACHE);
    throw e;
  }
}

self.addEventListener('install', (event) => {
  event.waitUntil(keep().then(() => self.skipWaiting()));
});

// The pages already open have the whole game in memory: the old set can go.
self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((keys) => Promise.all(keys
    .filter((key) => key.startsWith(SET) && key !== CACHE)
    .map((key) => caches.delete(key)))));
});

function fromNetwork(request) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('no answer')), NETWORK_MS);
    fetch(request).then((response) => {
      clearTimeout(timer);
      resolve(response);
    }, (e) => {
      clearTimeout(timer);
      reject(e);
    });
  });
}

async function answer(request) {
  const url = new URL(request.url);
  if (HASHED.test(url.pathname)) {
    return (await caches.match(request, { ignoreVary: true, ignoreSearch: true })) ||
      fetch(request);
  }
  try {
    return await fromNetwork(request);
  } catch (e) {
    const cache = await caches.open(CACHE);
    const kept = request.mode === 'navigate' && url.pathname.endsWith('/')
      ? await cache.match('index.html')
      : await cache.match(request, { ignoreVary: true, ignoreSearch: true });
    if (kept) return kept;
    throw e;
  }
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(answer(request));
});

