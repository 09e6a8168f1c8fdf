// What the teacher's pages share: an element by id, and a request to the
// server answered as { status, body } whatever came back.
'use strict';

const $ = (id) => document.getElementById(id);

async function call(method, path, data, signal) {
  const options = { method, credentials: 'same-origin', headers: {}, signal };
  if (data !== undefined) {
    options.headers['Content-Type'] = 'application/json';
    options.body = JSON.stringify(data);
  }
  const response = await fetch(path, options);
  let body = {};
  try { body = await response.json(); } catch (e) { body = {}; }
  return { status: response.status, body };
}
