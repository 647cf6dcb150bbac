// Runs inside glasswake.js before the program: hands it the canvas and the
// URL parameters, fetches the data files into its file system, turns a
// failure to start into a message on the page, and turns drags, pinches and
// the wheel into camera moves.

// glasswakeDataFiles (from the build, before this script) names the files
// the scene opens, relative to the page as to the desktop program's working
// directory. A file that cannot be fetched is left out, so the program meets
// it missing and says so as on the desktop.

// glasswakeVersion, from the same place, is the project's version.
document.getElementById('version').textContent = 'Glasswake ' + glasswakeVersion;

Module['canvas'] = document.getElementById('glasswake');
Module['arguments'] = [];
new URLSearchParams(location.search).forEach(function (value, name) {
  Module['arguments'].push(name + '=' + value);
});

// A data file that sends nothing for stallMs, or is not whole after
// deadlineMs, ends start-up: a server that takes the request and never
// answers, or trickles, would otherwise leave a blank page for ever. (The
// tests shorten both before the page loads.)
var glasswakeLoadLimits = window.glasswakeLoadLimits || { stallMs: 20000, deadlineMs: 120000 };

// The bytes at `url`, null when the server has no such file, or why it
// stopped: 'stalled' or 'late'.
function glasswakeFetch(url) {
  var controller = new AbortController();
  var stopped = null;
  var timer = 0;
  var deadline = setTimeout(function () { stopped = 'late'; controller.abort(); },
    glasswakeLoadLimits.deadlineMs);
  function waitForMore() {
    clearTimeout(timer);
    timer = setTimeout(function () { stopped = 'stalled'; controller.abort(); },
      glasswakeLoadLimits.stallMs);
  }
  waitForMore();
  return fetch(url, { signal: controller.signal })
    .then(function (response) {
      if (!response.ok || !response.body) {
        return response.ok ? response.arrayBuffer() : null;
      }
      var reader = response.body.getReader();
      var chunks = [];
      function more() {
        waitForMore();
        return reader.read().then(function (step) {
          if (step.done) {
            return new Blob(chunks).arrayBuffer();
          }
          chunks.push(step.value);
          return more();
        });
      }
      return more();
    })
    .catch(function () { return stopped; })
    .finally(function () { clearTimeout(timer); clearTimeout(deadline); });
}

Module['preRun'] = [function () {
  FS.mkdir('/data');
  glasswakeDataFiles.forEach(function (dependency) {
    addRunDependency(dependency);
    glasswakeFetch(dependency).then(function (bytes) {
      // The program never starts: it could only report the file missing.
      if (bytes === 'stalled') {
        glasswakeFailed(dependency + ' sent nothing for ' + glasswakeLoadLimits.stallMs / 1000 + ' s');
        return;
      }
      if (bytes === 'late') {
        glasswakeFailed(dependency + ' did not arrive whole within ' +
          glasswakeLoadLimits.deadlineMs / 1000 + ' s');
        return;
      }
      if (bytes) {
        FS.writeFile('/' + dependency, new Uint8Array(bytes));
      }
      removeRunDependency(dependency);
    });
  });
}];

Module['onAbort'] = function (what) {
  glasswakeFailed(String(what));
};

document.querySelectorAll('#controls button').forEach(function (button) {
  // Keys go to the page, not to the last button clicked.
  button.addEventListener('click', function () { button.blur(); });
});

// For embedding: controls=0 leaves the canvas alone on the page. As for
// every parameter, the last value that parses holds, as the program reads it.
if (new URLSearchParams(location.search).getAll('controls').filter(function (value) {
  return value === '0' || value === '1';
}).pop() === '0') {
  document.getElementById('controls').hidden = true;
}

// The canvas's box can change without the window's (the bar wraps, the link
// field comes): its drawing buffer follows, or the picture is stretched.
if (typeof ResizeObserver === 'function') {
  new ResizeObserver(function () {
    if (document.documentElement.dataset.frame === 'drawn') Module['_glasswake_refit']();
  }).observe(Module['canvas']);
}

// One pointer (mouse or finger) turns the camera, two pinch it nearer or
// farther, the wheel too; the program holds the camera to its limits.
(function () {
  var canvas = Module['canvas'];
  var pointers = new Map();
  var spread = 0;
  function ready() { return document.documentElement.dataset.frame === 'drawn'; }
  function distance() {
    var at = Array.from(pointers.values());
    return at.length === 2 ? Math.hypot(at[0].x - at[1].x, at[0].y - at[1].y) : 0;
  }
  canvas.addEventListener('pointerdown', function (event) {
    if (event.pointerType === 'mouse' && event.button !== 0) return;
    canvas.setPointerCapture(event.pointerId);
    pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
    spread = distance();
    canvas.focus();
  });
  canvas.addEventListener('pointermove', function (event) {
    var last = pointers.get(event.pointerId);
    if (!last || !ready()) return;
    var now = { x: event.clientX, y: event.clientY };
    pointers.set(event.pointerId, now);
    if (pointers.size === 1) {
      Module._glasswake_turn(now.x - last.x, now.y - last.y);
    } else if (pointers.size === 2) {
      var apart = distance();
      if (spread > 0 && apart > 0) Module._glasswake_zoom(spread / apart);
      spread = apart;
    }
  });
  function release(event) {
    pointers.delete(event.pointerId);
    spread = distance();
  }
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('wheel', function (event) {
    event.preventDefault();
    if (ready()) Module._glasswake_zoom(Math.exp(event.deltaY * 0.001));
  }, { passive: false });
})();
