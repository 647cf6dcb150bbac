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
if (/(^|&)size=/.test(location.search.slice(1))) {
  Module['canvas'].className = 'fixed';
}

Module['preRun'] = [function () {
  FS.mkdir('/data');
  glasswakeDataFiles.forEach(function (name) {
    var dependency = 'data/' + name;
    addRunDependency(dependency);
    fetch(dependency)
      .then(function (response) { return response.ok ? response.arrayBuffer() : null; })
      .catch(function () { return null; })
      .then(function (bytes) {
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
