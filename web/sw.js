// SPDX-License-Identifier: Zlib
// The service worker (the build fills in the names and digests): keeps one
// build's files, the whole set or none, so that the game starts with no network.
// The page registers it once the game has downloaded, and the browser compares
// this file on each visit: a new deployment gives a new sw.js, which keeps the
// new set before it takes over, then drops the old one.
//
// Answers: a file whose name carries its content's hash, from whichever kept
// set holds it (the same name is always the same bytes), else from the network;
// the page itself (index.html) and the licences from the network when it answers
// within NETWORK_MS and without an error (a 5xx, or a 404 for the page), so an
// online start always gets the newest deployment, else from the kept set.
//
// Written by hand rather than with a precaching library: the three things asked
// of it (a set named by its content, no byte kept that the build did not make, a
// kept page when the host fails) take the few lines below, a library's runtime
// would be one more file to serve, keep and check, and its revisions would still
// have to come from this build's digests.
'use strict';
const VERSION = '@VERSION@';
// Every file of the set, index.html included, with the SHA-256 of its bytes.
const FILES = @KEPT@.map((line) => line.split(' '));
// Caches belong to the whole origin: the name tells this site's (its scope) apart
// from another copy's on the same host. The rest is the set's content: the build
// (the files but the page, which the page names) and index.html's digest.
const SET = 'bramble ' + self.registration.scope + ' ';
const CACHE = SET + '@SET@';
const HASHED = /\.[0-9a-f]{10}\.[a-z]+$/;
const NETWORK_MS = 4000;

async function sha256(bytes) {
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
}

// One file, checked against its digest: a host caught between two deployments,
// or a file still uploading, gives bytes that are not this version's.
async function fetchChecked([name, digest]) {
  // The hashed files may come from the browser's cache (they never change);
  // the others are asked of the server.
  const response = await fetch(new Request(name,
    { cache: HASHED.test(name) ? 'default' : 'no-cache' }));
  if (!response.ok) throw new Error(`${name}: HTTP ${response.status}`);
  const bytes = await response.arrayBuffer();
  if (await sha256(bytes) !== digest) throw new Error(`${name} is not the file of ${VERSION}`);
  return [name, new Response(bytes, { headers: { 'Content-Type':
    response.headers.get('Content-Type') || 'application/octet-stream' } })];
}

async function keep() {
  // A set of this name holds these very bytes: a worker that changed alone finds
  // it whole. Such a set may be the one the worker in use answers from, so it is
  // never deleted here; a set this install began is, when it fails.
  const existed = await caches.has(CACHE);
  const cache = await caches.open(CACHE);
  try {
    const missing = [];
    for (const file of FILES) if (!(await cache.match(file[0]))) missing.push(file);
    // Everything is fetched and checked before the first byte is kept.
    const got = await Promise.all(missing.map(fetchChecked));
    await Promise.all(got.map(([name, response]) => cache.put(name, response)));
  } catch (e) {
    if (!existed) await caches.delete(CACHE);
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
  const page = request.mode === 'navigate' && url.pathname.endsWith('/');
  let failure;
  try {
    const response = await fromNetwork(request);
    // A failing host, or one that lost the page, would hide the kept game.
    if (response.status < 500 && !(response.status === 404 &&
        (page || url.pathname.endsWith('/index.html')))) return response;
    failure = response;
  } catch (e) {
    failure = e;
  }
  const cache = await caches.open(CACHE);
  const kept = page ? await cache.match('index.html')
    : await cache.match(request, { ignoreVary: true, ignoreSearch: true });
  if (kept) return kept;
  if (failure instanceof Response) return failure;
  throw failure;
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(answer(request));
});
