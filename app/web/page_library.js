// What the shell writes on the page, linked into glasswake.js.
mergeInto(LibraryManager.library, {
  glasswake_page_failure: function (caption, text) {
    var box = document.getElementById('error');
    box.textContent = '';
    var strong = document.createElement('strong');
    strong.textContent = UTF8ToString(caption);
    box.appendChild(strong);
    box.appendChild(document.createTextNode(' ' + UTF8ToString(text)));
    box.hidden = false;
    document.documentElement.dataset.frame = 'failed';
  },
  glasswake_page_frame_drawn: function () {
    document.documentElement.dataset.frame = 'drawn';
  },
  glasswake_page_window_size: function (width, height) {
    HEAPF64[width >> 3] = window.innerWidth;
    HEAPF64[height >> 3] = window.innerHeight;
  },
  glasswake_page_camera: function (orbiting, yaw, pitch, distance) {
    var orbit = document.getElementById('orbit');
    orbit.disabled = orbiting;
    // For the information panel: the numbers cam= and --camera take.
    orbit.dataset.camera = orbiting ? 'orbit' : 'camera ' + yaw.toFixed(2) + ',' +
      pitch.toFixed(2) + ',' + distance.toFixed(2);
  },
  glasswake_page_status: function (text) {
    var status = document.getElementById('status');
    status.textContent = UTF8ToString(text);
    status.hidden = status.textContent === '';
  },
  glasswake_page_help: function (visible) {
    document.getElementById('help').hidden = !visible;
  },
  glasswake_page_share: function (query) {
    var link = document.getElementById('link');
    link.value = location.href.split(/[?#]/)[0] + UTF8ToString(query);
    link.hidden = false;
    link.focus();
    link.select();
    if (navigator.clipboard) {
      navigator.clipboard.writeText(link.value).catch(function () {});
    }
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
  glasswake_page_panel: function (depth, paused, infoVisible, fps, views, fans) {
    document.getElementById('depth').textContent = String(depth);
    document.getElementById('pause').textContent = paused ? 'Play' : 'Pause';
    var panel = document.getElementById('info');
    panel.hidden = !infoVisible;
    if (infoVisible) {
      panel.textContent = (paused ? 'paused' : fps.toFixed(1) + ' fps') + '\n' +
        views + ' views, ' + fans + ' fans per frame\n' +
        document.getElementById('orbit').dataset.camera +
        (glasswakeRecording ? '\n' + glasswakeRecordingText() : '');
    }
  },
});
