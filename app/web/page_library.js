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
  glasswake_page_panel: function (depth, paused, infoVisible, fps, views, fans) {
    document.getElementById('depth').textContent = String(depth);
    document.getElementById('pause').textContent = paused ? 'Play' : 'Pause';
    var panel = document.getElementById('info');
    panel.hidden = !infoVisible;
    if (infoVisible) {
      panel.textContent = (paused ? 'paused' : fps.toFixed(1) + ' fps') + '\n' +
        views + ' views, ' + fans + ' fans per frame' +
        (glasswakeRecording ? '\n' + glasswakeRecordingText() : '');
    }
  },
});
