// The Record button and R: the canvas recorded as it plays, at the rate the
// display shows it, by the browser's media recorder, and offered as a file
// when stopped. Chromium and Firefox record WebM (VP9 where offered, else
// VP8); Safari, which records no WebM, gives MP4 (H.264). The media recorder
// writes WebM without its duration, so players could neither show the length
// nor seek: fix-webm-duration (from npm, fetched only when a WebM is saved)
// writes it in.

var glasswakeRecording = null;  // {recorder, startMs, chunks} while recording

// For the info panel: "recording 3.2 s", or nothing.
function glasswakeRecordingText() {
  if (!glasswakeRecording) return '';
  return 'recording ' + ((performance.now() - glasswakeRecording.startMs) / 1000).toFixed(1) + ' s';
}

function glasswakeRecordingType() {
  var types = ['video/webm;codecs=vp9', 'video/webm;codecs=vp8', 'video/webm', 'video/mp4'];
  for (var i = 0; i < types.length; i++) {
    if (MediaRecorder.isTypeSupported(types[i])) return types[i];
  }
  return '';
}

// Calls back with fix-webm-duration's function, or null where it cannot load.
function glasswakeDurationFixer(then) {
  if (window.ysFixWebmDuration) return then(window.ysFixWebmDuration);
  var script = document.createElement('script');
  script.src = 'fix-webm-duration.js';
  script.onload = function () { then(window.ysFixWebmDuration || null); };
  script.onerror = function () { then(null); };
  document.head.appendChild(script);
}

function glasswakeSaveRecording(chunks, type, durationMs) {
  var blob = new Blob(chunks, { type: type });
  if (type.indexOf('webm') < 0) return glasswakeOfferRecording(blob, type);
  glasswakeDurationFixer(function (fix) {
    if (!fix) return glasswakeOfferRecording(blob, type);
    fix(blob, durationMs, { logger: false }).then(function (fixed) {
      glasswakeOfferRecording(fixed, type);
    });
  });
}

function glasswakeOfferRecording(blob, type) {
  var link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  var stamp = new Date().toISOString().replace(/\..*/, '').replace(/[-:]/g, '').replace('T', '-');
  link.download = 'glasswake-' + stamp + (type.indexOf('mp4') >= 0 ? '.mp4' : '.webm');
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
}

function glasswakeToggleRecording() {
  var button = document.getElementById('record');
  if (glasswakeRecording) {
    glasswakeRecording.recorder.stop();
    return;
  }
  var canvas = document.getElementById('glasswake');
  var type = typeof MediaRecorder === 'function' && canvas.captureStream ? glasswakeRecordingType() : '';
  if (!type) {
    button.textContent = 'Cannot record here';
    button.disabled = true;
    return;
  }
  // No frame rate given: a frame each time the canvas is drawn.
  var recorder = new MediaRecorder(canvas.captureStream(), { mimeType: type });
  var recording = { recorder: recorder, startMs: performance.now(), chunks: [] };
  var clock = setInterval(function () {
    button.textContent = 'Stop ' + glasswakeRecordingText().replace('recording ', '');
  }, 100);
  recorder.ondataavailable = function (event) { recording.chunks.push(event.data); };
  recorder.onstop = function () {
    clearInterval(clock);
    glasswakeRecording = null;
    button.textContent = 'Record';
    glasswakeSaveRecording(recording.chunks, recorder.mimeType || type,
      performance.now() - recording.startMs);
  };
  glasswakeRecording = recording;
  recorder.start(1000);
  button.textContent = 'Stop 0.0 s';
}

document.getElementById('record').addEventListener('click', glasswakeToggleRecording);
window.addEventListener('keydown', function (event) {
  if (event.code === 'KeyR' && !event.ctrlKey && !event.altKey && !event.metaKey && !event.repeat &&
      glasswakeKeysFree() && document.documentElement.dataset.frame === 'drawn') {
    glasswakeToggleRecording();
  }
});
