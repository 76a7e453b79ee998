// The page around the production: the start screen (browsers allow sound
// only after a click or a key), the canvas the production presents to, its
// keys, its sound output (Web Audio; the music is mixed in the audio
// callback) and the end screen. The production reaches this script through
// Module.page (src/platform/web/page.cpp); the browser tests read
// window.vornaStats.
"use strict";

(function () {
  const canvas = document.getElementById("screen");
  const context = canvas.getContext("2d", { alpha: false });
  const startPanel = document.getElementById("start");
  const endPanel = document.getElementById("end");
  const notes = document.getElementById("notes");

  // What the tests and the curious read: timings, frame rates, the sound's health.
  const stats = (window.vornaStats = {
    state: "waiting", // waiting, loading, running, ended, error
    seed: -1,
    clickMs: 0,
    firstFrameMs: -1, // from the click to the first frame on the canvas
    frames: 0,
    fpsLog: [], // frames presented in each whole second since the first frame
    steps: [], // per step of the running order: its start, frames and the production's own time on them
    audioCallbacks: 0,
    underruns: 0, // audio callbacks that came after their samples were due
    musicMs: 0, // the music's position the scenes follow
    keysSent: 0, // key presses and releases handed to the production
    status: -1,
    result: "",
    output: [],
  });

  function note(text, isError) {
    notes.textContent = text;
    notes.className = isError ? "error" : "";
  }

  function fail(text) {
    stats.state = "error";
    stats.result = text;
    note(text, true);
    startPanel.hidden = true;
  }

  // ---- The address: ?seed=N fixes the seed; anything else is ignored, with a note.
  const query = new URLSearchParams(window.location.search);
  const ignored = [];
  let seedError = "";
  for (const [name, value] of query) {
    if (name !== "seed") {
      ignored.push(name);
      continue;
    }
    if (!/^[0-9]{1,10}$/.test(value) || Number(value) > 4294967295) {
      seedError = `The seed must be a whole number from 0 to 4294967295, not "${value}".`;
    } else {
      stats.seed = Number(value);
    }
  }
  if (ignored.length) note(`Ignored unknown parameter${ignored.length > 1 ? "s" : ""}: ${ignored.join(", ")}.`);

  // ---- Keys: the production's own keys reach it and nothing else acts on them.
  const named = {
    Backspace: 8, Tab: 9, Enter: 13, Escape: 27, " ": 32, Delete: 127,
    ArrowUp: 273, ArrowDown: 274, ArrowRight: 275, ArrowLeft: 276, Insert: 277,
    Home: 278, End: 279, PageUp: 280, PageDown: 281,
  };
  function sdlKey(event) {
    if (event.key in named) return named[event.key];
    const f = /^F([0-9]{1,2})$/.exec(event.key);
    if (f && Number(f[1]) >= 1 && Number(f[1]) <= 12) return 281 + Number(f[1]);
    if (event.key.length === 1) {
      const c = event.key.toLowerCase().charCodeAt(0);
      if ((c >= 97 && c <= 122) || (c >= 48 && c <= 57)) return c;
    }
    return 0;
  }

  let instance = null; // the running production
  let sawEscape = false;
  const held = new Set(); // keys pressed while the production runs
  function onKey(event) {
    if (stats.state === "waiting" && event.type === "keydown") {
      if (!event.ctrlKey && !event.altKey && !event.metaKey) start();
      return;
    }
    if (stats.state !== "running" || !instance) return;
    const sym = sdlKey(event);
    if (!sym) return;
    event.preventDefault(); // F1, F3, F5, F7, Tab and Space are the browser's otherwise
    if (event.repeat) return;
    // A key is the production's from its press on: the release of the key
    // that started the page (Space, say) must not skip the opening.
    if (event.type === "keydown") held.add(sym);
    else if (!held.delete(sym)) return;
    if (event.type === "keyup" && sym === 27) sawEscape = true;
    stats.keysSent++;
    instance._vorna_key(sym, event.type === "keydown" ? 1 : 0);
  }
  window.addEventListener("keydown", onKey);
  window.addEventListener("keyup", onKey);

  document.getElementById("fullscreen").addEventListener("click", (event) => {
    event.stopPropagation();
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen().catch(() => note("The browser refused full screen."));
  });

  // ---- Sound: one context for the page, made at the first click (a user gesture).
  let audioContext = null;
  let processor = null;
  function makeAudioContext() {
    if (audioContext) return true;
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return false;
    try {
      audioContext = new Context({ sampleRate: 44100, latencyHint: "playback" });
    } catch (error) {
      return false;
    }
    return true;
  }

  // The audio callback: the production mixes the samples asked for, and the
  // row the scenes follow moves on with the samples handed over here.
  const kCallbackFrames = 4096;
  let handedFrames = 0; // stream frames handed to the output since the song started
  let lastFirstFrame = -1; // the first frame of the last callback's samples
  let lastPlaybackTime = 0; // when the output plays that frame, on the audio clock
  function heardFrame() {
    if (lastFirstFrame < 0 || !audioContext) return -1;
    const played = Math.max(0, (audioContext.currentTime - lastPlaybackTime) * audioContext.sampleRate);
    return Math.floor(Math.min(handedFrames - 1, lastFirstFrame + played));
  }
  function openSound(rate) {
    handedFrames = 0;
    lastFirstFrame = -1;
    if (!audioContext || audioContext.sampleRate !== rate) return false;
    audioContext.resume();
    processor = audioContext.createScriptProcessor(kCallbackFrames, 0, 2);
    processor.onaudioprocess = (event) => {
      const left = event.outputBuffer.getChannelData(0);
      const right = event.outputBuffer.getChannelData(1);
      stats.audioCallbacks++;
      if (audioContext.currentTime > event.playbackTime) stats.underruns++;
      const at = instance ? instance._vorna_audio_fill(kCallbackFrames) : 0;
      if (instance) stats.musicMs = instance._vorna_music_ms();
      if (!at) {
        left.fill(0);
        right.fill(0);
        return;
      }
      lastFirstFrame = handedFrames;
      lastPlaybackTime = event.playbackTime;
      handedFrames += kCallbackFrames;
      const samples = new Int16Array(instance.HEAPU8.buffer, at, 2 * kCallbackFrames);
      for (let i = 0; i < kCallbackFrames; i++) {
        left[i] = samples[2 * i] / 32768;
        right[i] = samples[2 * i + 1] / 32768;
      }
    };
    processor.connect(audioContext.destination);
    return true;
  }
  function closeSound() {
    if (processor) {
      processor.disconnect();
      processor.onaudioprocess = null;
      processor = null;
    }
  }

  // ---- What the production calls (src/platform/web/page.cpp).
  let secondStart = 0;
  let framesThisSecond = 0;
  const page = {
    seed: -1,
    setCanvasSize(width, height) {
      canvas.width = width;
      canvas.height = height;
    },
    setTitle(title) {
      document.title = title;
    },
    showCursor(shown) {
      canvas.classList.toggle("running", !shown);
    },
    step(number) {
      stats.steps.push({ step: number, startMs: performance.now() - stats.clickMs, frames: 0, workMs: 0 });
    },
    present(bytes, width, height, workMs) {
      const current = stats.steps[stats.steps.length - 1];
      if (current) {
        current.frames++;
        current.workMs += workMs;
      }
      const pixels = new Uint8ClampedArray(bytes.buffer, bytes.byteOffset, width * height * 4);
      context.putImageData(new ImageData(pixels, width, height), 0, 0);
      const now = performance.now();
      if (stats.firstFrameMs < 0) {
        stats.firstFrameMs = now - stats.clickMs;
        secondStart = now;
      }
      stats.frames++;
      framesThisSecond++;
      while (now - secondStart >= 1000) {
        stats.fpsLog.push(framesThisSecond);
        framesThisSecond = 0;
        secondStart += 1000;
      }
    },
    audioOpen: openSound,
    heardFrame,
    audioClose: closeSound,
    ended(status) {
      closeSound();
      stats.state = "ended";
      stats.status = status;
      stats.endMs = performance.now() - stats.clickMs;
      canvas.classList.remove("running");
      if (status === 0) stats.result = sawEscape ? "Left with Escape." : "The production has finished.";
      else if (stats.output.includes("Error upon initialization."))
        stats.result = "The production could not start: this browser gives the page no sound output.";
      else stats.result = `The production stopped with status ${status}.`;
      document.getElementById("result").textContent = stats.result;
      endPanel.hidden = false;
      if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    },
  };

  // ---- Start, end, again.
  function start() {
    if (stats.state !== "waiting") return;
    if (!makeAudioContext()) {
      fail("This browser gives the page no sound output (Web Audio), which the production needs.");
      return;
    }
    audioContext.resume();
    stats.state = "loading";
    stats.clickMs = performance.now();
    startPanel.hidden = true;
    endPanel.hidden = true;
    sawEscape = false;
    held.clear();
    stats.keysSent = 0;
    stats.firstFrameMs = -1;
    stats.frames = 0;
    stats.fpsLog = [];
    stats.steps = [];
    stats.output = [];
    page.seed = stats.seed;
    const print = (text) => {
      if (!stats.output.length) stats.mainMs = performance.now() - stats.clickMs;
      stats.output.push(text);
      console.log(text);
    };
    window
      .createVorna({
        page,
        instantiateWasm,
        print,
        printErr: print,
        onAbort: (what) => fail(`The production stopped on an error: ${what}`),
      })
      .then((module) => {
        instance = module;
      })
      .catch((error) => fail(`The production could not be loaded: ${error}`));
    stats.state = "running";
  }

  // The program is fetched and compiled while the start screen shows, so the
  // click only has to start it.
  let compiled = null;
  function instantiateWasm(imports, receive) {
    compiled
      .then((module) => WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module)))
      .catch((error) => fail(`The production's program (vorna.wasm) could not be loaded: ${error}`));
    return {};
  }

  function loadProgram() {
    compiled = WebAssembly.compileStreaming
      ? WebAssembly.compileStreaming(fetch("vorna.wasm"))
      : fetch("vorna.wasm").then((r) => r.arrayBuffer()).then((bytes) => WebAssembly.compile(bytes));
    compiled.catch(() => {}); // reported when the click needs it
    const script = document.createElement("script");
    script.src = "vorna.js";
    script.onerror = () => fail("The production's program (vorna.js) could not be loaded.");
    script.onload = () => {
      if (stats.state === "waiting") startPanel.querySelector(".action").textContent = "Click or press a key to start";
    };
    document.body.appendChild(script);
  }

  if (typeof WebAssembly !== "object" || typeof WebAssembly.instantiate !== "function") {
    fail("This browser cannot run WebAssembly, which the production is made of.");
  } else if (seedError) {
    fail(seedError);
  } else {
    startPanel.addEventListener("click", start);
    canvas.addEventListener("click", () => stats.state === "waiting" && start());
    document.getElementById("again").addEventListener("click", () => {
      instance = null;
      stats.state = "waiting";
      start();
    });
    loadProgram();
  }
})();
