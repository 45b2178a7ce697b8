// The lesson video player page. It asks the player window for the play authorisation
// through the `app.call` bridge, turns it into the media address at the video service (or,
// for a downloaded lesson, gets the address its file is served at by the program itself),
// plays it with the page's own controls and reports what happens back to the window.
// The window drives it through the global functions at the end of this file.
//
// Opened in a plain browser (no `app` object) it runs on its own for development:
//   index.html?src=<media address>                         plays that address
//   index.html?vid=..&playAuth=..[&videoService=<origin>]  resolves like the window does
(function () {
  'use strict';

  // Codes reported with "playError". 1 to 4 are the media element's own error codes.
  var ERROR = {
    NO_AUTH: 4001,       // no usable play authorisation from the window
    SERVICE_DOWN: 4002,  // the video service could not be reached
    AUTH_REFUSED: 4003,  // the video service refused the authorisation (invalid or expired)
    NO_VIDEO: 4004,      // the video service does not know the video
    BAD_ANSWER: 4005,    // the video service's answer held no address
    RECONNECT_FAILED: 4006  // the stream dropped and did not come back before the deadline
  };
  var ERROR_TEXT = {
    1: '视频加载被中断，请重新加载。',
    2: '网络异常，视频加载失败，请检查网络后重试。',
    3: '视频解码失败，文件可能已损坏。',
    4: '视频格式不受支持或地址无效。',
    4001: '未能获取播放凭证，请重新打开本节课程。',
    4002: '无法连接视频服务，请检查网络后重试。',
    4003: '播放凭证无效或已过期，请重新加载。',
    4004: '视频不存在或已下架。',
    4005: '视频服务返回的数据无效，请稍后重试。',
    4006: '网络连接已中断，重新连接失败，请检查网络后重试。'
  };
  var RATES = [0.5, 0.75, 1, 1.25, 1.5, 1.75, 2, 2.5, 3];
  var RESUME_LEAD = 2;         // a resumed lesson starts this many seconds before where it stopped
  var LOOP_MIN = 0.5;          // the shortest A-B loop, in seconds
  var IDLE_MS = 3000;          // controls fade after this long without the pointer moving
  var MOUSE_MOVE_MS = 150;     // at most one "mouseMove" report per this period
  var SEEK_STEP = 5;           // seconds per arrow key
  var VOLUME_STEP = 0.1;
  // A playing video whose position has not moved and whose data has not grown for this long
  // has lost its stream; the page then reconnects, waiting longer between tries.
  var STALL_MS = 4000;
  var WATCH_MS = 500;
  var RECONNECT_BACKOFF_MS = [1000, 2000, 4000, 8000];
  var RECONNECT_DEADLINE_MS = 30000;  // the window may give another in its answer
  var RECOVERED_AFTER_S = 5;  // played this far past a drop, a new drop is a new one

  var $ = function (id) { return document.getElementById(id); };
  var player = $('player');
  var video = $('video');
  var ui = {
    surface: $('surface'), bigPlay: $('bigPlay'), playPause: $('playPause'),
    current: $('current'), duration: $('duration'), progress: $('progress'),
    buffered: $('buffered'), played: $('played'), thumb: $('thumb'), hoverTime: $('hoverTime'),
    speedButton: $('speedButton'), speedMenu: $('speedMenu'), mute: $('mute'), volume: $('volume'),
    fullscreen: $('fullscreen'), toast: $('toast'), message: $('message'),
    messageText: $('messageText'), messageCode: $('messageCode'), retry: $('retry'),
    endPanel: $('endPanel'), endReplay: $('endReplay'), titlebar: $('titlebar'), title: $('title'),
    reconnect: $('reconnect'), help: $('help'), loopRange: $('loopRange')
  };

  // What the page knows about the lesson being played.
  // `src`: the address of a downloaded lesson's file; empty for a lesson from the video service.
  var lesson = { vid: '', playAuth: '', src: '', lessonId: '', classId: '', videoService: '' };
  var state = {
    startPending: false,   // report "playVideoStart" at the next "playing"
    pendingSeek: null,     // seconds to seek to once the metadata is known
    quietPause: false,     // a pause caused by a source change is not a user's pause
    errorShown: false,
    loadToken: 0,          // guards against answers for a source that was replaced
    scrubbing: false,
    scrubTime: 0,
    sizedTo: null,         // the size set by setPrismPlayerSize, until the window outgrows it
    idleTimer: 0,
    toastTimer: 0,
    lastMouseMove: 0,
    drag: null,            // {x, y, moved} while the left button is held on the picture
    reconnectMs: RECONNECT_DEADLINE_MS,
    lastActivity: 0,       // when the position last moved or data last arrived
    lastTime: 0,
    recovery: null,        // {attempt, timer, deadline, deadlineAt} while the page reconnects
    lastRecovery: null,    // {position, deadlineAt} of the reconnection that succeeded last
    heldPosition: null,    // where the student was when the stream dropped, until it plays there again
    loopA: null,           // the A-B loop's ends in seconds (B only once A is set)
    loopB: null
  };

  // ---- Bridge --------------------------------------------------------------------------

  var embedded = typeof window.app === 'object' && window.app !== null && typeof window.app.call === 'function';

  function noop() {}

  // app.call(name, [parameter text,] callback): the callback is always given, because the
  // bridge refuses a call without one.
  function bridge(name, params, callback) {
    var done = typeof callback === 'function' ? callback : noop;
    if (!embedded) {
      devBridge(name, params, done);
      return;
    }
    try {
      if (params === undefined) {
        window.app.call(name, done);
      } else {
        window.app.call(name, typeof params === 'string' ? params : JSON.stringify(params), done);
      }
    } catch (e) {
      console.warn('app.call ' + name + ' failed', e);
    }
  }

  // Where the student is: while a dropped stream is reconnected the element's own position
  // means nothing (a fresh source starts at 0), so the position it had is reported.
  function position() {
    return state.heldPosition !== null ? state.heldPosition : video.currentTime || 0;
  }

  function progressReport() {
    return {
      time: Math.round(position() * 1000) / 1000,
      lessonId: lesson.lessonId,
      classId: lesson.classId,
      vid: lesson.vid
    };
  }

  // ---- The play authorisation and the media address ------------------------------------

  function PlayError(code) { this.code = code; }

  // Where a play authorisation is exchanged for the media address. The authorisation is
  // Base64 of a JSON object whose "VideoService" names the exchange address; an
  // authorisation without one is taken to <videoService origin>/video/resolve, the origin
  // coming from the window's answer (or the address of the page, in development).
  function resolveAddress(playAuth) {
    try {
      var info = JSON.parse(atob(playAuth));
      if (info && typeof info.VideoService === 'string' && info.VideoService) return info.VideoService;
    } catch (e) { /* not an encoded authorisation */ }
    return String(lesson.videoService || '').replace(/\/+$/, '') + '/video/resolve';
  }

  // Turns a play authorisation into the media address: the video service answers
  // GET <address>?vid=..&playAuth=.. with {"url": ..., "title": ...}; 403 refuses the
  // authorisation, 404 does not know the video.
  function resolveMedia(vid, playAuth) {
    var address = resolveAddress(playAuth);
    var request = address + (address.indexOf('?') >= 0 ? '&' : '?') + 'vid=' + encodeURIComponent(vid) +
                  '&playAuth=' + encodeURIComponent(playAuth);
    return fetch(request, { cache: 'no-store' }).then(function (answer) {
      if (answer.status === 401 || answer.status === 403) throw new PlayError(ERROR.AUTH_REFUSED);
      if (answer.status === 404) throw new PlayError(ERROR.NO_VIDEO);
      if (!answer.ok) throw new PlayError(ERROR.SERVICE_DOWN);
      return answer.json().catch(function () { throw new PlayError(ERROR.BAD_ANSWER); });
    }, function () {
      throw new PlayError(ERROR.SERVICE_DOWN);
    }).then(function (info) {
      if (!info || typeof info.url !== 'string' || !info.url) throw new PlayError(ERROR.BAD_ANSWER);
      return { url: new URL(info.url, new URL(address, location.href)).href, title: info.title || '' };
    });
  }

  // Where the lesson's media is: a downloaded lesson's file as the window lent it, or what the
  // video service answers for the play authorisation.
  function mediaFor() {
    if (lesson.src) return Promise.resolve({ url: new URL(lesson.src, location.href).href, title: '' });
    return resolveMedia(lesson.vid, lesson.playAuth);
  }

  // Every answer to "getVidAndPlayAuth" comes here (the bridge keeps the first callback of
  // a name, so one handler serves the first request and every later one).
  function onPlayAuth(code, text) {
    var auth = null;
    try { auth = JSON.parse(text); } catch (e) { auth = null; }
    // A downloaded lesson comes with "src" (the address its file is served at) in place of
    // a play authorisation.
    var src = auth && typeof auth.src === 'string' ? auth.src : '';
    if (String(code) !== '200' || !auth || typeof auth.vid !== 'string' || !auth.vid ||
        !(src || (typeof auth.playAuth === 'string' && auth.playAuth))) {
      showError(ERROR.NO_AUTH);
      return;
    }
    if (typeof auth.videoService === 'string') lesson.videoService = auth.videoService;
    if (typeof auth.reconnectMs === 'number' && auth.reconnectMs > 0) state.reconnectMs = auth.reconnectMs;
    // The speed the student kept: it holds for every lesson until changed.
    if (RATES.indexOf(auth.playbackRate) >= 0 && !player.hasAttribute('data-rate')) {
      player.setAttribute('data-rate', String(auth.playbackRate));
      video.playbackRate = auth.playbackRate;
    }
    if (state.recovery && auth.vid === lesson.vid) {
      // The fresh authorisation a reconnection asked for.
      lesson.playAuth = auth.playAuth;
      reconnect();
      return;
    }
    load(auth.vid, src ? '' : auth.playAuth, src);
    // After the load, which forgets the ids of a lesson before.
    if (typeof auth.lessonId === 'string') lesson.lessonId = auth.lessonId;
    if (typeof auth.classId === 'string') lesson.classId = auth.classId;
  }

  function requestPlayAuth() {
    setLoading(true);
    bridge('getVidAndPlayAuth', undefined, onPlayAuth);
  }

  // Loads (or reloads) a video by its play authorisation, or a downloaded one by the address
  // of its file, and starts it.
  function load(vid, playAuth, src) {
    var token = ++state.loadToken;
    endRecovery();
    // Another lesson starts where the window says; the same one again (a retry after the
    // stream was lost) where the student was.
    if (String(vid) !== lesson.vid || String(src || '') !== lesson.src) {
      state.lastRecovery = null;
      // The ids of the lesson before are not this video's: reports name the video only, and
      // the window, which knows its lesson, fills them in.
      lesson.lessonId = '';
      lesson.classId = '';
      state.heldPosition = null;
      state.lastTime = 0;
      clearLoop(false);
    }
    lesson.vid = String(vid);
    lesson.playAuth = String(playAuth || '');
    lesson.src = String(src || '');
    if (!video.paused) {
      state.quietPause = true;  // the old video stops while the new one is looked up
      video.pause();
    }
    hideError();
    setEnded(false);
    setLoading(true);
    mediaFor().then(function (media) {
      if (token !== state.loadToken) return;
      setTitle(media.title);
      playAddress(media.url);
    }, function (e) {
      if (token !== state.loadToken) return;
      showError(e instanceof PlayError ? e.code : ERROR.SERVICE_DOWN);
    });
  }

  function playAddress(url) {
    state.quietPause = !video.paused;
    state.startPending = true;
    state.errorShown = false;
    state.hadMetadata = false;
    if (state.heldPosition !== null) state.pendingSeek = state.heldPosition;
    video.src = url;
    video.playbackRate = currentRate();
    startPlaying();
  }

  function startPlaying() {
    var promise = video.play();
    if (promise && promise.catch) {
      promise.catch(function (e) {
        // Autoplay refused: the big play button waits for the student's click.
        if (e && e.name === 'NotAllowedError') {
          setLoading(false);
          render();
        }
      });
    }
  }

  // ---- Media element events ------------------------------------------------------------

  video.addEventListener('playing', function () {
    markActivity();
    if (state.recovery) {
      checkRecovered();
      return;
    }
    if (state.heldPosition !== null && Math.abs(video.currentTime - state.heldPosition) <= 1.5) {
      state.heldPosition = null;
    }
    setLoading(false);
    hideError();
    setEnded(false);
    if (state.startPending) {
      state.startPending = false;
      bridge('playVideoStart');
    }
    reportState('playing');
    render();
  });
  video.addEventListener('pause', function () {
    render();
    if (state.quietPause) {
      state.quietPause = false;
      return;
    }
    if (video.ended || state.errorShown) return;
    bridge('pauseVideo', progressReport());
    reportState('paused');
  });
  video.addEventListener('play', render);
  video.addEventListener('ended', function () {
    setEnded(true);
    render();
    bridge('playVideoEnd');
    reportState('ended');
  });
  video.addEventListener('error', function () {
    if (!video.error || !video.getAttribute('src')) return;
    if (state.recovery) {
      nextReconnect();  // this try failed too
      return;
    }
    // A network error of a stream whose video was found (playing, or still buffering for
    // its start) is a drop: reconnect first.
    if (video.error.code === 2 && (state.lastTime > 0 || state.hadMetadata) && !video.ended) {
      beginRecovery();
      return;
    }
    showError(video.error.code || 4);
  });
  video.addEventListener('waiting', function () { setLoading(true); });
  video.addEventListener('canplay', function () { if (!state.recovery) setLoading(false); });
  video.addEventListener('seeked', function () {
    renderTime();
    if (state.recovery) return;
    setLoading(false);
    // Where it plays now (the desktop's media controls show the position).
    if (!state.startPending) reportState(video.paused ? 'paused' : 'playing');
  });
  video.addEventListener('progress', markActivity);
  video.addEventListener('loadedmetadata', function () {
    state.hadMetadata = true;
    if (state.recovery && state.recoverySeek !== null) {
      video.currentTime = state.recoverySeek;
      state.recoverySeek = null;
    }
    if (state.pendingSeek !== null) {
      var seconds = state.pendingSeek;
      state.pendingSeek = null;
      seekTo(seconds);
    }
    renderTime();
  });
  video.addEventListener('timeupdate', function () {
    if (state.loopB !== null && !state.recovery && !video.seeking && video.currentTime >= state.loopB) {
      video.currentTime = state.loopA;
    }
    if (video.currentTime !== state.lastTime) {
      if (!state.recovery) state.lastTime = video.currentTime;
      markActivity();
      checkRecovered();
    }
    renderTime();
  });
  video.addEventListener('durationchange', function () { renderTime(); renderLoop(); });
  video.addEventListener('progress', renderBuffered);
  video.addEventListener('volumechange', renderVolume);
  video.addEventListener('ratechange', renderRate);

  // ---- A dropped stream ----------------------------------------------------------------

  function markActivity() { state.lastActivity = Date.now(); }

  // Playing as far as the student knows: started, not paused by anyone, not at the end.
  function meantToPlay() {
    return !video.paused && !video.ended && !state.errorShown && !!video.getAttribute('src');
  }

  // The watch: a video meant to play whose position and data have both stood still for
  // STALL_MS has lost its stream (the media element itself may never say so).
  setInterval(function () {
    var still = Date.now() - state.lastActivity >= STALL_MS;
    if (state.recovery) {
      if (still) nextReconnect();  // the try under way stalled as well
      return;
    }
    // A first start that is slow to come is no drop: its own errors show the panel.
    if (!meantToPlay() || state.lastTime === 0) {
      markActivity();
      return;
    }
    if (still) beginRecovery();
  }, WATCH_MS);

  function beginRecovery() {
    if (state.recovery || state.errorShown || !lesson.vid) return;
    if (state.heldPosition === null) state.heldPosition = state.lastTime || video.currentTime || 0;
    // A stream that came back only to drop again before getting anywhere is the same drop:
    // its deadline goes on, so a network that keeps failing still ends in the error panel.
    var deadlineAt = Date.now() + state.reconnectMs;
    var last = state.lastRecovery;
    if (last && state.heldPosition < last.position + RECOVERED_AFTER_S) deadlineAt = last.deadlineAt;
    state.lastRecovery = null;
    state.recovery = {
      attempt: 0, timer: 0, deadlineAt: deadlineAt,
      deadline: setTimeout(giveUp, Math.max(0, deadlineAt - Date.now()))
    };
    ui.reconnect.hidden = false;
    setLoading(true);
    renderTime();
    reportState('stalled');
    state.recovery.timer = setTimeout(reconnect, RECONNECT_BACKOFF_MS[0]);
  }

  function nextReconnect() {
    var r = state.recovery;
    if (!r || r.timer) return;
    var delay = RECONNECT_BACKOFF_MS[Math.min(r.attempt, RECONNECT_BACKOFF_MS.length - 1)];
    r.timer = setTimeout(reconnect, delay);
  }

  // One try: the address again from the video service (a fresh authorisation from the
  // window when the old one has expired), then the source again at the held position.
  function reconnect() {
    var r = state.recovery;
    if (!r) return;
    r.timer = 0;
    r.attempt += 1;
    markActivity();
    var token = ++state.loadToken;
    mediaFor().then(function (media) {
      if (token !== state.loadToken || state.recovery !== r) return;
      state.quietPause = !video.paused;
      state.pendingSeek = null;
      state.recoverySeek = state.heldPosition;
      // The same address again: only an explicit load starts the element over.
      if (video.src === media.url) video.load(); else video.src = media.url;
      video.playbackRate = currentRate();
      markActivity();
      startPlaying();
    }, function (e) {
      if (token !== state.loadToken || state.recovery !== r) return;
      if (e instanceof PlayError && e.code === ERROR.AUTH_REFUSED) {
        bridge('getVidAndPlayAuth', undefined, onPlayAuth);
      } else {
        nextReconnect();
      }
    });
  }

  // Playing again where the student was: the reconnection is over.
  function checkRecovered() {
    if (!state.recovery || video.paused || video.seeking) return;
    if (Math.abs(video.currentTime - state.heldPosition) > 1.5) return;
    var deadlineAt = state.recovery.deadlineAt;
    endRecovery();
    state.lastRecovery = { position: state.heldPosition, deadlineAt: deadlineAt };
    state.heldPosition = null;
    state.lastTime = video.currentTime;
    setLoading(false);
    renderTime();
    reportState('playing');
  }

  // What the window needs to know of the playback: whether it plays (the screen stays
  // awake, the desktop's media controls show it) and where.
  function reportState(name) {
    bridge('playState', {
      state: name,
      time: Math.round(position() * 1000) / 1000,
      duration: isFinite(video.duration) ? Math.round(video.duration * 1000) / 1000 : 0,
      rate: video.playbackRate
    });
  }

  function endRecovery() {
    var r = state.recovery;
    if (!r) return;
    clearTimeout(r.timer);
    clearTimeout(r.deadline);
    state.recovery = null;
    state.recoverySeek = null;
    ui.reconnect.hidden = true;
  }

  // The deadline passed: the position goes to the window as at a pause (so a retry resumes
  // there), then the error panel with its retry.
  function giveUp() {
    if (!state.recovery) return;
    endRecovery();
    bridge('pauseVideo', progressReport());
    showError(ERROR.RECONNECT_FAILED);
  }

  // ---- Actions -------------------------------------------------------------------------

  function togglePlay() {
    if (state.errorShown) return;
    if (video.ended) {
      replayFromStart();
    } else if (video.paused) {
      startPlaying();
    } else {
      video.pause();
    }
  }

  function replayFromStart() {
    state.startPending = true;
    setEnded(false);
    video.currentTime = 0;
    startPlaying();
  }

  // Moves to a resume position from the player window; a lesson watched to its very end
  // starts again from the beginning.
  function seekTo(seconds) {
    var value = Number(seconds);
    if (!isFinite(value) || value < 0) value = 0;
    if (!(video.readyState >= 1) || !isFinite(video.duration)) {
      state.pendingSeek = value;
      return;
    }
    if (value >= video.duration - 1) value = 0;
    // A couple of seconds before the saved place: the sentence that was cut off is heard whole.
    var resumeAt = value;
    value = Math.max(0, value - RESUME_LEAD);
    // A seek to where the video already is (the resume position 0 of a lesson just
    // started) is skipped: the media pipeline gains nothing from it and can stall on it.
    if (Math.abs(video.currentTime - value) < 0.5) {
      renderTime();
      return;
    }
    video.currentTime = value;
    if (resumeAt >= 1) toast('已为您定位到上次观看位置 ' + formatTime(resumeAt));
    renderTime();
  }

  function seekBy(delta) {
    if (!isFinite(video.duration)) return;
    var target = Math.min(Math.max(0, video.currentTime + delta), video.duration);
    video.currentTime = target;
    toast((delta > 0 ? '快进 ' : '快退 ') + Math.abs(delta) + ' 秒');
    wake();
  }

  function setVolume(value) {
    var level = Math.min(1, Math.max(0, Math.round(value * 100) / 100));
    video.volume = level;
    video.muted = level === 0;
    toast('音量 ' + Math.round(level * 100) + '%');
  }

  function toggleMute() {
    if (video.muted && video.volume === 0) video.volume = 0.5;
    video.muted = !video.muted;
    toast(video.muted ? '已静音' : '音量 ' + Math.round(video.volume * 100) + '%');
  }

  function currentRate() {
    var saved = Number(player.getAttribute('data-rate'));
    return RATES.indexOf(saved) >= 0 ? saved : 1;
  }

  function setRate(rate) {
    player.setAttribute('data-rate', String(rate));
    video.playbackRate = rate;
    toast('倍速 ' + formatRate(rate));
    bridge('setPlaybackRate', { rate: rate });  // kept for the next lessons and runs
  }

  // One step slower or faster through the offered speeds.
  function stepRate(direction) {
    var at = RATES.indexOf(currentRate());
    var next = RATES[Math.min(RATES.length - 1, Math.max(0, at + direction))];
    if (next !== currentRate()) setRate(next); else toast('倍速 ' + formatRate(next));
  }

  // The A-B loop: A where the video is, then B; playback between them repeats until cleared.
  function setLoopA() {
    state.loopA = video.currentTime || 0;
    state.loopB = null;
    renderLoop();
    toast('循环起点 A ' + formatTime(state.loopA));
  }

  function setLoopB() {
    if (state.loopA === null) {
      toast('请先按 A 设置循环起点');
      return;
    }
    var b = video.currentTime || 0;
    if (b < state.loopA + LOOP_MIN) {
      toast('循环终点须在起点之后');
      return;
    }
    state.loopB = b;
    renderLoop();
    toast('A-B 循环 ' + formatTime(state.loopA) + ' - ' + formatTime(b));
    video.currentTime = state.loopA;
  }

  function clearLoop(tell) {
    var had = state.loopA !== null;
    state.loopA = null;
    state.loopB = null;
    renderLoop();
    if (tell && had) toast('已清除循环');
  }

  function renderLoop() {
    var duration = video.duration;
    var shown = state.loopA !== null && isFinite(duration) && duration > 0;
    ui.loopRange.hidden = !shown;
    if (!shown) return;
    var end = state.loopB !== null ? state.loopB : state.loopA;
    ui.loopRange.style.left = (state.loopA / duration) * 100 + '%';
    ui.loopRange.style.width = Math.max(0.4, ((end - state.loopA) / duration) * 100) + '%';
  }

  function toggleHelp(show) {
    ui.help.hidden = show === undefined ? !ui.help.hidden : !show;
  }

  function fullscreenElement() {
    return document.fullscreenElement || document.webkitFullscreenElement || null;
  }

  function toggleFullscreen() {
    if (fullscreenElement()) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    } else {
      var request = player.requestFullscreen || player.webkitRequestFullscreen;
      if (!request) return;
      var result = request.call(player);
      if (result && result.catch) result.catch(function () { toast('无法进入全屏'); });
    }
  }

  function onFullscreenChange() {
    var on = !!fullscreenElement();
    player.classList.toggle('is-fullscreen', on);
    setButton(ui.fullscreen, on ? 'i-fullscreen-exit' : 'i-fullscreen', on ? '退出全屏（F）' : '全屏（F）');
    bridge(on ? 'playVideoFullScreen' : 'playVideoCancelFullScreen');
    player.focus();
  }
  document.addEventListener('fullscreenchange', onFullscreenChange);
  document.addEventListener('webkitfullscreenchange', onFullscreenChange);

  // ---- Display -------------------------------------------------------------------------

  function formatTime(seconds) {
    var s = Math.max(0, Math.floor(Number(seconds) || 0));
    var h = Math.floor(s / 3600);
    var m = Math.floor((s % 3600) / 60);
    var two = function (n) { return (n < 10 ? '0' : '') + n; };
    return (h > 0 ? h + ':' + two(m) : two(m)) + ':' + two(s % 60);
  }

  function formatRate(rate) { return (rate % 1 === 0 ? rate.toFixed(1) : String(rate)) + 'x'; }

  function setButton(button, icon, title) {
    button.querySelector('use').setAttribute('href', '#' + icon);
    button.title = title;
    button.setAttribute('aria-label', title.replace(/（.*）/, ''));
  }

  function setLoading(on) { player.classList.toggle('is-loading', on); }

  function setEnded(on) {
    player.classList.toggle('is-ended', on);
    ui.endPanel.hidden = !on;
    // The player window draws its own end buttons over the dimmed page; on its own the
    // page offers its replay button.
    ui.endReplay.hidden = embedded;
  }

  function setTitle(text) {
    // The player window draws the title itself; on its own the page shows it.
    ui.title.textContent = text || '';
    ui.titlebar.hidden = embedded || !text;
    if (text) document.title = text;
  }

  function render() {
    var paused = video.paused || video.ended;
    player.classList.toggle('is-paused', paused);
    setButton(ui.playPause, paused ? 'i-play' : 'i-pause', paused ? '播放（空格）' : '暂停（空格）');
    if (paused) wake();
  }

  function renderTime() {
    var duration = isFinite(video.duration) ? video.duration : 0;
    var current = state.scrubbing ? state.scrubTime : position();
    ui.current.textContent = formatTime(current);
    ui.duration.textContent = formatTime(duration);
    var fraction = duration > 0 ? Math.min(1, current / duration) : 0;
    ui.played.style.width = fraction * 100 + '%';
    ui.thumb.style.left = fraction * 100 + '%';
    ui.progress.setAttribute('aria-valuemax', String(Math.floor(duration)));
    ui.progress.setAttribute('aria-valuenow', String(Math.floor(current)));
    ui.progress.setAttribute('aria-valuetext', formatTime(current) + ' / ' + formatTime(duration));
    renderBuffered();
  }

  function renderBuffered() {
    var duration = video.duration;
    var ranges = video.buffered;
    var html = '';
    if (isFinite(duration) && duration > 0) {
      for (var i = 0; i < ranges.length; i++) {
        var left = (ranges.start(i) / duration) * 100;
        var width = ((ranges.end(i) - ranges.start(i)) / duration) * 100;
        html += '<span style="left:' + left.toFixed(3) + '%;width:' + width.toFixed(3) + '%"></span>';
      }
    }
    if (ui.buffered.innerHTML !== html) ui.buffered.innerHTML = html;
  }

  function renderVolume() {
    var level = video.muted ? 0 : video.volume;
    ui.volume.value = String(level);
    ui.volume.style.setProperty('--level', level * 100 + '%');
    setButton(ui.mute, level === 0 ? 'i-muted' : level < 0.5 ? 'i-volume-low' : 'i-volume',
              level === 0 ? '取消静音（M）' : '静音（M）');
    try {
      localStorage.setItem('tavo.player.volume', JSON.stringify({ volume: video.volume, muted: video.muted }));
    } catch (e) { /* storage unavailable: the level is simply not kept */ }
  }

  function renderRate() {
    var rate = video.playbackRate;
    ui.speedButton.textContent = rate === 1 ? '倍速' : formatRate(rate);
    var items = ui.speedMenu.querySelectorAll('li');
    for (var i = 0; i < items.length; i++) {
      var current = Number(items[i].getAttribute('data-rate')) === rate;
      items[i].classList.toggle('is-current', current);
      items[i].setAttribute('aria-checked', current ? 'true' : 'false');
    }
  }

  function toast(text) {
    ui.toast.textContent = text;
    ui.toast.classList.add('is-shown');
    clearTimeout(state.toastTimer);
    state.toastTimer = setTimeout(function () { ui.toast.classList.remove('is-shown'); }, 1600);
  }

  function showError(code) {
    endRecovery();
    state.errorShown = true;
    state.startPending = false;
    setLoading(false);
    setEnded(false);
    player.classList.add('is-error');
    ui.messageText.textContent = ERROR_TEXT[code] || '视频暂时无法播放，请稍后重试。';
    ui.messageCode.textContent = '错误码：' + code;
    ui.message.hidden = false;
    if (!video.paused) {
      state.quietPause = true;
      video.pause();
    }
    bridge('playError', { error_code: code });
    reportState('stopped');
  }

  function hideError() {
    if (!state.errorShown && ui.message.hidden) return;
    state.errorShown = false;
    player.classList.remove('is-error');
    ui.message.hidden = true;
  }

  // Controls show on pointer activity and fade after a while of playing.
  function wake() {
    player.classList.remove('is-idle');
    clearTimeout(state.idleTimer);
    state.idleTimer = setTimeout(function () {
      if (!video.paused && !state.scrubbing && ui.speedMenu.hidden) player.classList.add('is-idle');
    }, IDLE_MS);
  }

  // ---- Seek bar ------------------------------------------------------------------------

  function timeAt(clientX) {
    var box = ui.progress.getBoundingClientRect();
    var fraction = box.width > 0 ? Math.min(1, Math.max(0, (clientX - box.left) / box.width)) : 0;
    return { fraction: fraction, time: fraction * (isFinite(video.duration) ? video.duration : 0) };
  }

  ui.progress.addEventListener('pointermove', function (e) {
    var at = timeAt(e.clientX);
    ui.hoverTime.textContent = formatTime(at.time);
    var box = ui.progress.getBoundingClientRect();
    var half = ui.hoverTime.offsetWidth / 2;
    ui.hoverTime.style.left = Math.min(Math.max(at.fraction * box.width, half), box.width - half) + 'px';
    if (state.scrubbing) {
      state.scrubTime = at.time;
      renderTime();
    }
  });
  ui.progress.addEventListener('pointerdown', function (e) {
    if (e.button !== 0 || !isFinite(video.duration)) return;
    state.scrubbing = true;
    state.scrubTime = timeAt(e.clientX).time;
    ui.progress.classList.add('is-scrubbing');
    ui.progress.setPointerCapture(e.pointerId);
    renderTime();
  });
  function endScrub(e) {
    if (!state.scrubbing) return;
    state.scrubbing = false;
    ui.progress.classList.remove('is-scrubbing');
    if (e.type === 'pointerup') {
      video.currentTime = timeAt(e.clientX).time;
      if (video.ended || state.startPending) setEnded(false);
    }
    renderTime();
  }
  ui.progress.addEventListener('pointerup', endScrub);
  ui.progress.addEventListener('pointercancel', endScrub);

  // ---- Controls ------------------------------------------------------------------------

  ui.bigPlay.addEventListener('click', togglePlay);
  ui.playPause.addEventListener('click', togglePlay);
  ui.endReplay.addEventListener('click', replayFromStart);
  ui.retry.addEventListener('click', function () {
    hideError();
    if (embedded || !devSource()) {
      requestPlayAuth();  // a fresh authorisation: the old one may have expired
    } else {
      startDev();
    }
  });
  ui.mute.addEventListener('click', toggleMute);
  ui.volume.addEventListener('input', function () { setVolume(Number(ui.volume.value)); });
  ui.fullscreen.addEventListener('click', toggleFullscreen);
  ui.speedButton.addEventListener('click', function (e) {
    e.stopPropagation();
    ui.speedMenu.hidden = !ui.speedMenu.hidden;
  });
  ui.speedMenu.addEventListener('click', function (e) {
    var item = e.target.closest('li');
    if (!item) return;
    setRate(Number(item.getAttribute('data-rate')));
    ui.speedMenu.hidden = true;
  });
  document.addEventListener('click', function (e) {
    if (!ui.speedMenu.hidden && !e.target.closest('.speed')) ui.speedMenu.hidden = true;
  });

  // The picture: a click plays or pauses, a double click toggles full screen, and holding
  // the left button and moving drags the player window.
  var clickTimer = 0;
  ui.surface.addEventListener('click', function () {
    if (state.drag && state.drag.moved) return;
    clearTimeout(clickTimer);
    clickTimer = setTimeout(togglePlay, 220);
  });
  ui.surface.addEventListener('dblclick', function () {
    clearTimeout(clickTimer);
    toggleFullscreen();
  });
  ui.surface.addEventListener('mousedown', function (e) {
    if (e.button !== 0 || fullscreenElement()) return;
    state.drag = { x: e.screenX, y: e.screenY, moved: false };
    bridge('mousePlayerDrag', { drag: 0 });
  });
  document.addEventListener('mousemove', function (e) {
    var drag = state.drag;
    if (drag && (e.buttons & 1)) {
      if (Math.abs(e.screenX - drag.x) + Math.abs(e.screenY - drag.y) > 3) drag.moved = true;
      if (drag.moved) bridge('mousePlayerDrag', { drag: 1 });
    }
    wake();
    var now = Date.now();
    if (now - state.lastMouseMove >= MOUSE_MOVE_MS) {
      state.lastMouseMove = now;
      bridge('mouseMove');
    }
  });
  document.addEventListener('mouseup', function () {
    // The click that ends a drag comes after mouseup; forget the drag just after it.
    if (state.drag) setTimeout(function () { state.drag = null; }, 0);
  });
  document.addEventListener('mousedown', function (e) {
    if (e.button === 0) bridge('onLButtonDown');
  });
  document.documentElement.addEventListener('mouseenter', function () {
    wake();
    bridge('mouseEnter');
  });
  document.documentElement.addEventListener('mouseleave', function () {
    if (!video.paused) player.classList.add('is-idle');
    bridge('mouseLeave');
  });

  document.addEventListener('keydown', function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey) return;
    var key = e.key;
    var handled = true;
    if (key === ' ' || key === 'Spacebar' || key === 'k' || key === 'K') {
      togglePlay();
    } else if (key === 'ArrowLeft') {
      seekBy(-SEEK_STEP);
    } else if (key === 'ArrowRight') {
      seekBy(SEEK_STEP);
    } else if (key === 'ArrowUp') {
      setVolume((video.muted ? 0 : video.volume) + VOLUME_STEP);
    } else if (key === 'ArrowDown') {
      setVolume((video.muted ? 0 : video.volume) - VOLUME_STEP);
    } else if (key === 'f' || key === 'F') {
      toggleFullscreen();
    } else if (key === 'm' || key === 'M') {
      toggleMute();
    } else if (key === '[') {
      stepRate(-1);
    } else if (key === ']') {
      stepRate(1);
    } else if (key === '=') {
      setRate(1);
    } else if (key === 'a' || key === 'A') {
      setLoopA();
    } else if (key === 'b' || key === 'B') {
      setLoopB();
    } else if (key === 'c' || key === 'C') {
      clearLoop(true);
    } else if (key === '?') {
      toggleHelp();
    } else if (key === 'Escape' && !ui.help.hidden) {
      toggleHelp(false);
    } else {
      handled = false;
    }
    if (handled) {
      e.preventDefault();
      wake();
    }
  });

  // ---- Functions the player window runs ------------------------------------------------

  // Plays another video (after a switch of lesson, or to retry after an error).
  window.replay = function (vid, playAuth) {
    if (vid && playAuth) {
      load(vid, playAuth);
    } else {
      requestPlayAuth();
    }
  };
  // Plays the current video again from the start (from the end-of-video panel).
  window.playerReplay = function () {
    hideError();
    replayFromStart();
  };
  window.playerPause = function () {
    if (!video.paused) video.pause();
  };
  window.playerPlay = function () {
    if (!state.errorShown && video.paused) {
      if (video.ended) replayFromStart(); else startPlaying();
    }
  };
  // The desktop's play/pause key.
  window.playerToggle = function () {
    togglePlay();
  };
  // Moves to exactly this position (chosen on the desktop's media controls).
  window.playerSeekTo = function (seconds) {
    var value = Number(seconds);
    if (!isFinite(value) || value < 0 || !isFinite(video.duration) || state.recovery) return;
    video.currentTime = Math.min(value, video.duration);
    renderTime();
  };
  // Jumps to a position in seconds (the resume position after a start).
  window.seek = function (seconds) {
    seekTo(seconds);
  };
  // Answers with "setPlayCurrentTime" and the position of the video.
  window.getPlayCurrentTime = function (lessonId, classId, vid) {
    if (lessonId !== undefined) lesson.lessonId = String(lessonId);
    if (classId !== undefined) lesson.classId = String(classId);
    var report = progressReport();
    if (vid !== undefined && vid !== '') report.vid = String(vid);
    bridge('setPlayCurrentTime', report);
  };
  // Fits the player to the window's client area (after maximise and restore).
  window.setPrismPlayerSize = function (width, height) {
    var w = parseInt(width, 10);
    var h = parseInt(height, 10);
    if (w > 0 && h > 0) {
      player.style.width = w + 'px';
      player.style.height = h + 'px';
      state.sizedTo = { w: w, h: h };
    }
  };
  // A window that grew past the given size (resized by its border) is filled again.
  window.addEventListener('resize', function () {
    var size = state.sizedTo;
    if (size && (window.innerWidth > size.w || window.innerHeight > size.h)) {
      player.style.width = '';
      player.style.height = '';
      state.sizedTo = null;
    }
  });

  // ---- Development without the player window -------------------------------------------

  function devSource() {
    var query = new URLSearchParams(location.search);
    if (query.get('src')) return { src: query.get('src'), title: query.get('title') || '' };
    if (query.get('vid') && query.get('playAuth')) {
      return { vid: query.get('vid'), playAuth: query.get('playAuth'), service: query.get('videoService') || '' };
    }
    return null;
  }

  function devBridge(name, params, done) {
    if (window.console && console.debug) console.debug('[bridge]', name, params === undefined ? '' : params);
    if (name === 'getVidAndPlayAuth') {
      var source = devSource();
      if (source && source.vid) {
        setTimeout(function () {
          done('200', JSON.stringify({ vid: source.vid, playAuth: source.playAuth, videoService: source.service }));
        }, 0);
      }
    }
  }

  function startDev() {
    var source = devSource();
    if (!source) {
      setLoading(false);
      ui.messageText.textContent = '请在 Tavo 中打开课程视频；开发时可在地址后加 ?src=视频地址。';
      ui.messageCode.textContent = '';
      ui.retry.hidden = true;
      player.classList.add('is-error');
      ui.message.hidden = false;
      return;
    }
    if (source.src) {
      setTitle(source.title);
      hideError();
      playAddress(source.src);
    } else {
      requestPlayAuth();
    }
  }

  // ---- Start ---------------------------------------------------------------------------

  (function restoreVolume() {
    try {
      var saved = JSON.parse(localStorage.getItem('tavo.player.volume') || 'null');
      if (saved && typeof saved.volume === 'number') {
        video.volume = Math.min(1, Math.max(0, saved.volume));
        video.muted = !!saved.muted;
      }
    } catch (e) { /* keep the defaults */ }
  })();
  renderVolume();
  renderRate();
  render();
  renderTime();
  wake();
  player.focus();
  if (embedded) {
    requestPlayAuth();
  } else {
    startDev();
  }
})();
