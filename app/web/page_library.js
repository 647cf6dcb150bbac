// What the shell writes on the page, linked into glasswake.js.
mergeInto(LibraryManager.library, {
  // A start-up failure: the program's own message as the heading, then what
  // failed in plain words (the file the page could not fetch, or the
  // program's reason) and what the visitor can do.
  glasswake_page_failure: function (caption, text, step) {
    var failure = { title: UTF8ToString(caption) + ': ' + UTF8ToString(text) };
    var programReason = Module['_glasswake_failure_reason']
      ? UTF8ToString(Module['_glasswake_failure_reason']()) : '';
    if (step === 0 && glasswakeFetchFailures.length > 0) {
      failure.reason = 'A data file could not be fetched: ' + glasswakeFetchFailures.join('; ') + '.';
      failure.advice = 'The page is incomplete on this server (its data/ folder belongs beside it), ' +
        'or the server is in trouble. Trying again may help.';
      failure.retry = true;
    } else if (step === 0) {
      failure.reason = programReason ? programReason + '.' : 'A data file is damaged or not the kind expected.';
      failure.advice = 'The page\'s data/ folder should hold the files shipped with it.';
    } else if (step === 1) {
      failure.reason = 'This browser gives the page no WebGL, which draws the picture.';
      failure.advice = 'Turn on hardware (graphics) acceleration in the browser\'s settings, ' +
        'update the browser, or open the page in another browser or on another device.';
    } else {
      failure.reason = programReason ? programReason + '.' : 'The graphics could not be set up.';
      failure.advice = 'Trying again may help; if not, open the page in another browser.';
      failure.retry = true;
    }
    glasswakeFailed(failure);
  },
  glasswake_page_frame_drawn: function () {
    document.documentElement.dataset.frame = 'drawn';
    document.getElementById('loading').hidden = true;
    document.getElementById('poster').hidden = true;
    var orbit = document.getElementById('orbit');
    document.querySelectorAll('#controls button').forEach(function (button) {
      if (button !== orbit && button.id !== 'shipped' && button.textContent !== 'Cannot record here') {
        button.disabled = false;
      }
    });
    orbit.disabled = orbit.dataset.camera === 'orbit';
    glasswakeHintStart();
    // The program draws without a file it can do without (the sky picture):
    // the visitor learns why the picture is plain.
    if (glasswakeFetchFailures.length > 0) {
      var status = document.getElementById('status');
      status.textContent = 'Drawn without ' + glasswakeFetchFailures.join('; ') +
        '. Loading the page again may help.';
      status.hidden = false;
    }
  },
  glasswake_page_window_size: function (width, height) {
    HEAPF64[width >> 3] = window.innerWidth;
    HEAPF64[height >> 3] = window.innerHeight;
  },
  // The camera as cam= and --camera take it, or '' on the orbit.
  glasswake_page_camera: function (camera) {
    var text = UTF8ToString(camera);
    var orbit = document.getElementById('orbit');
    orbit.disabled = text === '' || document.documentElement.dataset.frame !== 'drawn';
    // For the information panel.
    orbit.dataset.camera = text === '' ? 'orbit' : 'camera ' + text;
  },
  glasswake_page_status: function (text) {
    var status = document.getElementById('status');
    status.textContent = UTF8ToString(text);
    status.hidden = status.textContent === '';
  },
  glasswake_page_keys_free: function () {
    return glasswakeKeysFree();
  },
  // The link to the frame on screen: copied, and said so; where the browser
  // refuses to copy, shown in a box over the picture to copy by hand.
  glasswake_page_share: function (query) {
    var link = document.getElementById('link');
    var box = document.getElementById('link-box');
    link.value = location.href.split(/[?#]/)[0] + UTF8ToString(query);
    function showBox() {
      box.hidden = false;
      link.focus({ preventScroll: true });
      link.select();
    }
    if (!navigator.clipboard || !navigator.clipboard.writeText) {
      showBox();
      return;
    }
    var value = link.value;
    navigator.clipboard.writeText(value).then(function () {
      if (link.value !== value) return;
      box.hidden = true;
      // The visitor's own files stay on this machine: a link cannot bring them.
      glasswakeToast(glasswakeUserScene ? 'Link copied: it carries the camera and the time, not your files'
        : 'Link copied');
    }, function () {
      if (link.value === value) showBox();
    });
  },
  glasswake_page_share_stale: function () {
    document.getElementById('link').value = '';
    glasswakeHideLink();
  },
  glasswake_page_save_png: function (name) {
    var fileName = UTF8ToString(name);
    Module['canvas'].toBlob(function (blob) {
      if (!blob) return;
      var anchor = document.createElement('a');
      anchor.href = URL.createObjectURL(blob);
      anchor.download = fileName;
      anchor.click();
      setTimeout(function () { URL.revokeObjectURL(anchor.href); }, 60000);
    }, 'image/png');
  },
  glasswake_page_reduced_motion: function () {
    return window.matchMedia('(prefers-reduced-motion: reduce)').matches;
  },
  glasswake_page_panel: function (depth, paused, infoVisible, overlay, fps, samples, views, fans) {
    document.getElementById('depth').textContent = String(depth);
    document.querySelectorAll('#depths button').forEach(function (button) {
      button.setAttribute('aria-pressed', String(button.id === 'depth' + depth));
    });
    document.getElementById('pause').textContent = paused ? 'Play' : 'Pause';
    document.getElementById('info-button').setAttribute('aria-pressed', String(!!infoVisible));
    document.getElementById('views').setAttribute('aria-pressed', String(!!overlay));
    var panel = document.getElementById('info');
    panel.hidden = !infoVisible;
    if (infoVisible) {
      panel.textContent = (paused ? 'paused' : fps.toFixed(1) + ' fps') + ', ' + samples +
        (samples === 1 ? ' sample' : ' samples') + ' per pixel\n' +
        views + ' views, ' + fans + ' polygons drawn a frame\n' +
        document.getElementById('orbit').dataset.camera +
        (glasswakeRecording ? '\n' + glasswakeRecordingText() : '');
    }
  },
});
