// Runs inside glasswake.js before the program: hands it the canvas and the
// URL parameters, fetches the data files into its file system (showing how
// much has come), remembers why a file could not be fetched for the failure
// message, and turns drags, pinches and the wheel into camera moves.

// glasswakeDataFiles and glasswakeDataSizes (from the build, before this
// script) name the files the scene opens, relative to the page as to the
// desktop program's working directory, and their sizes. A file that cannot be
// fetched is left out, so the program meets it missing and says so as on the
// desktop; the page then adds why.

// glasswakeVersion, from the same place, is the project's version.
document.getElementById('version').textContent = 'Glasswake ' + glasswakeVersion;

Module['canvas'] = glasswakeCanvas;
Module['arguments'] = [];
new URLSearchParams(location.search).forEach(function (value, name) {
  Module['arguments'].push(name + '=' + value);
});

// A data file that sends nothing for stallMs, or is not whole after
// deadlineMs, ends start-up: a server that takes the request and never
// answers, or trickles, would otherwise leave the page loading for ever.
// (The tests shorten both before the page loads.)
var glasswakeLoadLimits = window.glasswakeLoadLimits || { stallMs: 20000, deadlineMs: 120000 };

// Why each data file that could not be fetched was not: "the server answered
// 404 (Not Found)".
var glasswakeFetchFailures = [];

// Bytes of each data file come so far, for the loading bar.
var glasswakeBytesCome = glasswakeDataFiles.map(function () { return 0; });
function glasswakeShowProgress() {
  var come = glasswakeBytesCome.reduce(function (sum, bytes) { return sum + bytes; }, 0);
  var total = glasswakeDataSizes.reduce(function (sum, bytes) { return sum + bytes; }, 0);
  glasswakeProgress(total > 0 ? come / total : 1);
}

// The bytes of data file `index`; null when the server would not give them
// (the reason recorded), or why it stopped: 'stalled' or 'late'.
function glasswakeFetch(index) {
  var url = glasswakeDataFiles[index];
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
      if (!response.ok) {
        glasswakeFetchFailures.push(url + ': the server answered ' + response.status +
          (response.statusText ? ' (' + response.statusText + ')' : ''));
        return null;
      }
      if (!response.body) return response.arrayBuffer();
      var reader = response.body.getReader();
      var chunks = [];
      function more() {
        waitForMore();
        return reader.read().then(function (step) {
          if (step.done) {
            return new Blob(chunks).arrayBuffer();
          }
          chunks.push(step.value);
          glasswakeBytesCome[index] += step.value.length;
          glasswakeShowProgress();
          return more();
        });
      }
      return more();
    })
    .catch(function () {
      if (!stopped) glasswakeFetchFailures.push(url + ': the connection failed');
      return stopped;
    })
    .finally(function () { clearTimeout(timer); clearTimeout(deadline); });
}

Module['preRun'] = [function () {
  FS.mkdir('/data');
  glasswakeDataFiles.forEach(function (dependency, index) {
    addRunDependency(dependency);
    glasswakeFetch(index).then(function (bytes) {
      // The program never starts: it could only report the file missing.
      if (bytes === 'stalled' || bytes === 'late') {
        glasswakeFailed({
          reason: bytes === 'stalled'
            ? dependency + ' sent nothing for ' + glasswakeLoadLimits.stallMs / 1000 + ' s.'
            : dependency + ' did not arrive whole within ' + glasswakeLoadLimits.deadlineMs / 1000 + ' s.',
          advice: 'The server or the connection is too slow or stopped answering. Try again later.',
          retry: true,
        });
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
  glasswakeFailed({ reason: 'The program stopped: ' + String(what),
    advice: 'Loading the page again may help; if not, try another browser.', retry: true });
};

// For embedding: controls=0 leaves the canvas alone on the page. As for
// every parameter, the last value that parses holds, as the program reads it.
if (new URLSearchParams(location.search).getAll('controls').filter(function (value) {
  return value === '0' || value === '1';
}).pop() === '0') {
  glasswakeBar.hidden = true;
}

// The canvas's part of the page can change without the window (the bar
// wraps, the link box comes): its drawing buffer follows, or the picture is
// stretched.
if (typeof ResizeObserver === 'function') {
  new ResizeObserver(function () {
    if (document.documentElement.dataset.frame === 'drawn') Module['_glasswake_refit']();
  }).observe(document.getElementById('view'));
}

// One pointer (mouse or finger) turns the camera, two pinch it nearer or
// farther, the wheel too; the program holds the camera to its limits and, as
// on the desktop, glides on after a drag let go while moving (not with
// reduced motion). A double click or tap goes back to the orbit.
(function () {
  var canvas = Module['canvas'];
  var pointers = new Map();
  var spread = 0;
  var lastTap = { atMs: -1e9, x: 0, y: 0 };
  function ready() { return document.documentElement.dataset.frame === 'drawn'; }
  function distance() {
    var at = Array.from(pointers.values());
    return at.length === 2 ? Math.hypot(at[0].x - at[1].x, at[0].y - at[1].y) : 0;
  }
  function stopGlide() {
    if (ready()) Module._glasswake_stop_glide();
  }
  function moved() {
    glasswakeHintDone();
  }
  canvas.addEventListener('pointerdown', function (event) {
    if (event.pointerType === 'mouse' && event.button !== 0) return;
    if (ready()) Module._glasswake_grab(event.timeStamp);
    try {
      canvas.setPointerCapture(event.pointerId);
    } catch (error) {
      // A pointer the browser does not know (a synthetic one) is followed uncaptured.
    }
    pointers.set(event.pointerId, { x: event.clientX, y: event.clientY, atMs: event.timeStamp });
    spread = distance();
    canvas.classList.add('dragging');
    canvas.focus({ preventScroll: true });
    // A second tap soon after and near the first: back to the orbit.
    if (event.pointerType !== 'mouse' && pointers.size === 1) {
      var near = Math.hypot(event.clientX - lastTap.x, event.clientY - lastTap.y) < 30;
      if (near && event.timeStamp - lastTap.atMs < 350 && ready()) {
        document.getElementById('orbit').click();
        lastTap.atMs = -1e9;
      } else {
        lastTap = { atMs: event.timeStamp, x: event.clientX, y: event.clientY };
      }
    }
  });
  canvas.addEventListener('pointermove', function (event) {
    var last = pointers.get(event.pointerId);
    if (!last || !ready()) return;
    var now = { x: event.clientX, y: event.clientY, atMs: event.timeStamp };
    pointers.set(event.pointerId, now);
    if (pointers.size === 1) {
      var dx = now.x - last.x;
      var dy = now.y - last.y;
      if (dx === 0 && dy === 0) return;
      Module._glasswake_turn(dx, dy, now.atMs);
      moved();
    } else if (pointers.size === 2) {
      var apart = distance();
      if (spread > 0 && apart > 0) {
        Module._glasswake_zoom(spread / apart);
        moved();
      }
      spread = apart;
      Module._glasswake_grab(now.atMs);
    }
  });
  function release(event) {
    if (!pointers.delete(event.pointerId)) return;
    spread = distance();
    if (pointers.size === 0) {
      canvas.classList.remove('dragging');
      if (event.type === 'pointerup' && ready()) Module._glasswake_let_go(event.timeStamp);
    }
  }
  canvas.addEventListener('pointerup', release);
  canvas.addEventListener('pointercancel', release);
  canvas.addEventListener('dblclick', function () {
    if (ready()) {
      stopGlide();
      document.getElementById('orbit').click();
    }
  });
  canvas.addEventListener('wheel', function (event) {
    event.preventDefault();
    if (ready()) {
      stopGlide();
      Module._glasswake_zoom(Math.exp(event.deltaY * 0.001));
      moved();
    }
  }, { passive: false });
  // The program's own moves (keys, the orbit) end a glide too.
  window.addEventListener('keydown', stopGlide);
  document.getElementById('controls').addEventListener('click', stopGlide);
})();

// The first visit's hint, shown with the first frame and faded after the
// first move. A browser that keeps no storage shows it on every visit.
function glasswakeHintStart() {
  var seen = false;
  try { seen = localStorage.getItem('glasswake-hint') === 'seen'; } catch (error) { /* no storage */ }
  if (!seen) document.getElementById('hint').hidden = false;
}
function glasswakeHintDone() {
  var hint = document.getElementById('hint');
  if (hint.hidden || hint.classList.contains('gone')) return;
  hint.classList.add('gone');
  setTimeout(function () { hint.hidden = true; }, 1000);
  try { localStorage.setItem('glasswake-hint', 'seen'); } catch (error) { /* no storage */ }
}
