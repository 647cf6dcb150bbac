// Runs inside glasswake.js before the program: hands it the canvas and the
// URL parameters, fetches the data files into its file system, and turns a
// failure to start into a message on the page.

// The files the scene opens, relative to the page as to the desktop program's
// working directory. A file that cannot be fetched is left out, so the
// program meets it missing and says so as on the desktop.
var glasswakeDataFiles = ['base2.lwo', 'crystal1.lwo', 'crystal2.lwo', 'crystal3.lwo', 'env.bmp'];

Module['canvas'] = document.getElementById('glasswake');
Module['arguments'] = [];
new URLSearchParams(location.search).forEach(function (value, name) {
  Module['arguments'].push(name + '=' + value);
});

// A data file that sends nothing for this long ends start-up: a server that
// takes the request and never answers would otherwise leave a blank page.
var glasswakeStallMs = 20000;

// The bytes at `url`, null when the server has no such file, or 'stalled'.
function glasswakeFetch(url) {
  var controller = new AbortController();
  var stalled = false;
  var timer = 0;
  function waitForMore() {
    clearTimeout(timer);
    timer = setTimeout(function () { stalled = true; controller.abort(); }, glasswakeStallMs);
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
    .catch(function () { return stalled ? 'stalled' : null; })
    .finally(function () { clearTimeout(timer); });
}

Module['preRun'] = [function () {
  FS.mkdir('/data');
  glasswakeDataFiles.forEach(function (name) {
    var dependency = 'data/' + name;
    addRunDependency(dependency);
    glasswakeFetch(dependency).then(function (bytes) {
      if (bytes === 'stalled') {
        // The program never starts: it could only report the file missing.
        glasswakeFailed(dependency + ' sent nothing for ' + glasswakeStallMs / 1000 + ' s');
        return;
      }
      if (bytes) {
        FS.writeFile('/data/' + name, new Uint8Array(bytes));
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
