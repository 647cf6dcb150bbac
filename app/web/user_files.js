// Runs inside glasswake.js before the program: the visitor's own files,
// dropped on the page or picked with Open files. They are read here in the
// browser and written into the program's in-memory file system, one folder
// a set ("/user/N/"); nothing is sent anywhere. The program's own readers
// then load them (app/web/user_scene.h says what a set makes), from an event,
// between frames. A refused set is named with the reader's reason and the
// scene shown stays; Shipped scene goes back to the page's own.

// Whether the scene shown is made of the visitor's files (the link cannot
// carry them, and says so).
var glasswakeUserScene = false;

(function () {
  // The readers' own ceiling for one file; a larger one is not read into
  // memory at all. A set holds at most maxFiles files.
  var maxFileBytes = 256 * 1024 * 1024;
  var maxFiles = 16;
  var sets = 0;
  var busy = false;
  var root = document.documentElement;
  var canvas = glasswakeCanvas;
  var shippedLabel = canvas.getAttribute('aria-label');
  var openButton = document.getElementById('open');
  var shippedButton = document.getElementById('shipped');
  var picker = document.getElementById('files');
  var refusal = document.getElementById('refusal');
  var dropHint = document.getElementById('drop-hint');
  function ready() { return root.dataset.frame === 'drawn'; }

  // The loading bar, shown again while a set is opened: reading the files
  // fills it; setting the scene up (the program reads, checks and sizes it,
  // which holds the page for a moment with a large file) shows it full, and
  // is painted before it starts.
  var loading = document.getElementById('loading');
  var loadingLabel = loading.getAttribute('aria-label');
  function showOpening(text, share) {
    var percent = Math.round(100 * share);
    loading.hidden = false;
    loading.setAttribute('aria-label', 'Opening your files');
    loading.setAttribute('aria-valuenow', String(percent));
    document.getElementById('loading-fill').style.width = Math.max(4, percent) + '%';
    document.getElementById('loading-text').textContent = text;
    canvas.setAttribute('aria-busy', 'true');
  }
  function hideOpening() {
    loading.hidden = true;
    loading.setAttribute('aria-label', loadingLabel);
    canvas.removeAttribute('aria-busy');
  }
  // Resolves once what is shown now has been painted (or soon, should the
  // page not be painting).
  function painted() {
    return new Promise(function (resolve) {
      var later = setTimeout(resolve, 200);
      requestAnimationFrame(function () {
        setTimeout(function () { clearTimeout(later); resolve(); }, 0);
      });
    });
  }

  function hideRefusal() {
    if (refusal.hidden) return;
    var hadFocus = refusal.contains(document.activeElement);
    refusal.hidden = true;
    if (hadFocus) canvas.focus({ preventScroll: true });
  }
  function refuse(reason) {
    document.getElementById('refusal-reason').textContent = reason + '.';
    refusal.hidden = false;
    root.dataset.files = 'refused';
  }
  document.getElementById('refusal-close').addEventListener('click', hideRefusal);
  window.addEventListener('keydown', function (event) {
    if (event.key === 'Escape') hideRefusal();
  });

  // The program draws another scene: the controls, the canvas's name and
  // the next frame follow.
  function shown(userScene, names) {
    glasswakeUserScene = userScene;
    shippedButton.disabled = !userScene;
    canvas.setAttribute('aria-label', userScene
      ? 'Your own scene (' + names.join(', ') + '): glass mirroring and refracting the sky'
      : shippedLabel);
    hideRefusal();
    root.dataset.files = userScene ? 'opened' : 'shipped';
    Module._glasswake_redraw();
    var named = names.length > 3 ? names.slice(0, 2).join(', ') + ' and ' + (names.length - 2) + ' more'
      : names.join(', ');
    glasswakeToast(userScene ? 'Now showing ' + named : 'Back to the shipped scene');
  }

  // A file name as the program's folder can hold it (a slash would make it a path).
  function plainName(name) {
    return name.replace(/[\/\\\u0000]/g, '_') || 'unnamed';
  }

  function openFiles(list) {
    var files = Array.from(list || []);
    if (!ready() || busy || files.length === 0) return;
    var tooLarge = files.filter(function (file) { return file.size > maxFileBytes; })[0];
    if (files.length > maxFiles) {
      refuse(files.length + ' files came at once; a set holds at most ' + maxFiles);
      return;
    }
    if (tooLarge) {
      refuse(tooLarge.name + ' is ' + Math.round(tooLarge.size / 1048576) +
        ' MiB, over the 256 MiB a file may have');
      return;
    }
    busy = true;
    root.dataset.files = 'reading';
    var total = files.reduce(function (sum, file) { return sum + file.size; }, 0) || 1;
    var read = 0;
    showOpening('Reading your files…', 0);
    Promise.all(files.map(function (file) {
      return file.arrayBuffer().then(function (bytes) {
        read += file.size;
        showOpening('Reading your files…', 0.9 * read / total);
        return bytes;
      });
    })).then(function (contents) {
      showOpening('Setting up your scene…', 1);
      return painted().then(function () { return contents; });
    }).then(function (contents) {
      sets += 1;
      var folder = '/user/' + sets;
      if (!FS.analyzePath('/user').exists) FS.mkdir('/user');
      FS.mkdir(folder);
      contents.forEach(function (bytes, index) {
        FS.writeFile(folder + '/' + plainName(files[index].name), new Uint8Array(bytes));
      });
      // Called from this promise's callback, never from inside a frame.
      if (Module._glasswake_open_files(sets)) {
        shown(true, files.map(function (file) { return file.name; }));
      } else {
        refuse(UTF8ToString(Module._glasswake_open_failure()));
      }
    }, function (error) {
      refuse('A file could not be read in this browser (' + error.message + ')');
    }).finally(function () {
      busy = false;
      hideOpening();
    });
  }

  openButton.addEventListener('click', function () { picker.click(); });
  picker.addEventListener('change', function () {
    openFiles(picker.files);
    picker.value = '';  // the same file picked again is a change too
  });
  shippedButton.addEventListener('click', function () {
    if (!ready() || busy) return;
    if (Module._glasswake_open_shipped()) {
      shown(false, []);
    } else {
      refuse(UTF8ToString(Module._glasswake_open_failure()));
    }
  });

  // Dragging files over the page shows where they go; dropped anywhere, they
  // open (and the browser does not navigate to them).
  var dragDepth = 0;
  function carriesFiles(event) {
    return event.dataTransfer && Array.from(event.dataTransfer.types || []).indexOf('Files') >= 0;
  }
  window.addEventListener('dragenter', function (event) {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    dragDepth += 1;
    dropHint.hidden = !ready();
  });
  window.addEventListener('dragleave', function (event) {
    if (!carriesFiles(event)) return;
    dragDepth = Math.max(0, dragDepth - 1);
    if (dragDepth === 0) dropHint.hidden = true;
  });
  window.addEventListener('dragover', function (event) {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = ready() ? 'copy' : 'none';
  });
  window.addEventListener('drop', function (event) {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    dragDepth = 0;
    dropHint.hidden = true;
    openFiles(event.dataTransfer.files);
  });
})();
