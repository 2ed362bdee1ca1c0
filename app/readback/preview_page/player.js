"use strict";
// A Video CD player with a remote control, driven by the playback-control
// lists read back from the disc image. Lists: play lists play their items,
// pause for their wait and follow "next"; selection lists loop their item,
// wait for their timeout and then follow the timeout (or default) link.
(function () {
  const disc = JSON.parse(document.getElementById("disc").textContent);
  const video = document.getElementById("screen");
  const $ = (id) => document.getElementById(id);

  const lists = new Map(disc.lists.map((l) => [l.lid, l]));
  const media = new Map(disc.media.filter(Boolean).map((m) => [m.track, m]));
  const plain = disc.lists.length === 0;  // no playback control: a track list

  // Where playback is: a list (or, on a plain disc, a track) and its phase.
  const state = { lid: 0, track: 0, item: 0, plays: 0, phase: "idle", until: 0, pending: 0 };
  let timer = 0;      // the wait in progress
  let generation = 0; // bumps on every move, so that stale events are ignored
  let digits = "";
  let digitTimer = 0;

  function say(text) { $("status").textContent = text; }
  function osd(text) {
    const el = $("osd");
    el.textContent = text;
    el.hidden = !text;
  }
  function linkName(link) {
    if (typeof link === "number") return "list " + link;
    return link === "multi-default" ? "depends on the entry" : "—";
  }
  function seconds(s) { return s < 0 ? "forever" : s + " s"; }
  function setData() {
    const b = document.body.dataset;
    b.list = String(state.lid);
    b.kind = plain ? "track-list" : (lists.get(state.lid) || {}).kind || "";
    b.track = String(state.track);
    b.phase = state.phase;
  }

  // ---- playing ----------------------------------------------------------
  function stopTimer() {
    if (timer) clearTimeout(timer);
    timer = 0;
  }

  function playTrack(track, onEnd, at = 0) {
    const m = media.get(track);
    state.track = track;
    state.phase = "playing";
    const mine = ++generation;
    if (!m) {
      say("Track " + track + " cannot be shown here.");
      timer = setTimeout(() => { if (mine === generation) onEnd(); }, 1000);
      setData();
      return;
    }
    video.onended = () => { if (mine === generation) onEnd(); };
    if (!video.src.split("#")[0].endsWith("/" + m.file)) {
      video.src = m.file + (at > 0 ? "#t=" + at : "");
    } else {
      video.currentTime = at;
    }
    start();
    setData();
  }

  function start() {
    const p = video.play();
    if (p) {
      p.then(() => { $("start").hidden = true; }).catch((e) => {
        // A browser may refuse to play sound before the viewer has touched
        // the page; the start button is that touch.
        if (e && e.name === "NotAllowedError") $("start").hidden = false;
      });
    }
  }

  function hold(waitSeconds, then, what) {
    stopTimer();
    const mine = generation;
    state.phase = "waiting";
    setData();
    if (waitSeconds < 0) {
      say(what + ": waiting forever for a key.");
      return;
    }
    say(what + ": waiting " + waitSeconds + " s.");
    timer = setTimeout(() => {
      if (mine === generation) then();
    }, waitSeconds * 1000);
  }

  function goList(lid, why) {
    const list = lists.get(lid);
    if (!list) return false;
    stopTimer();
    state.lid = lid;
    state.item = 0;
    state.plays = 0;
    state.pending = 0;
    showWhere(why);
    if (list.kind === "play") playListItem(list);
    else if (list.kind === "selection") playSelection(list);
    else {
      generation++;
      hold(-1, () => {}, "List " + lid + " cannot be played");
    }
    return true;
  }

  const entries = new Map((disc.entries || []).map((e) => [e.entry, e]));
  // Where an item starts: a track from its beginning, an entry from its
  // place inside its track. Segments (stills) are not transcoded.
  function itemStart(item) {
    if (item && item.kind === "track") return { track: item.number, at: 0 };
    const e = item && item.kind === "entry" ? entries.get(item.number) : null;
    return e ? { track: e.track, at: e.seconds } : { track: 0, at: 0 };
  }

  function playListItem(list) {
    if (state.item >= list.items.length) {
      generation++;
      const after = () => { if (!goList(list.next, "after list " + list.lid)) endOfPlayback(); };
      hold(list.wait, after, "End of list " + list.lid);
      return;
    }
    const item = list.items[state.item];
    const advance = () => { state.item++; playListItem(list); };
    const { track, at } = itemStart(item);
    say("Playing " + describe(item) + " (" + (state.item + 1) + " of " + list.items.length + ").");
    playTrack(track, advance, at);
    if (list.playtime > 0 && media.has(track)) {
      const mine = generation;
      timer = setTimeout(() => { if (mine === generation) advance(); }, list.playtime * 1000);
    }
  }

  function playSelection(list) {
    const item = list.items[0];
    const looped = () => {
      state.plays++;
      if (state.pending) {
        const target = state.pending;
        state.pending = 0;
        goList(target, "chosen");
        return;
      }
      if (list.loop === 0 || state.plays < list.loop) {
        playSelection(list);
        return;
      }
      video.pause();
      const target = typeof list.timeout === "number" ? list.timeout : list["default"];
      hold(list.wait, () => { if (!goList(target, "timeout of list " + list.lid)) endOfPlayback(); },
           "List " + list.lid);
    };
    if (!item) {
      generation++;
      state.plays = list.loop || 1;
      looped();
      return;
    }
    const times = list.loop === 0 ? "forever" : (state.plays + 1) + " of " + list.loop;
    say("Showing " + describe(item) + ", play " + times + ". Choose with the number keys.");
    const { track, at } = itemStart(item);
    playTrack(track, looped, at);
  }

  function endOfPlayback() {
    stopTimer();
    generation++;
    video.pause();
    state.phase = "stopped";
    setData();
    say("End of playback.");
  }

  // ---- plain discs: tracks in order ---------------------------------------
  function goTrack(track) {
    if (!media.has(track)) return false;
    stopTimer();
    playTrack(track, () => { if (!goTrack(track + 1)) endOfPlayback(); });
    showWhere();
    say("Playing track " + track + " of " + disc.tracks.length + ".");
    return true;
  }

  // ---- the remote ---------------------------------------------------------
  function selectionNumbers(list) {
    return list && list.kind === "selection" ? { first: list.bsn, last: list.bsn + list.selections.length - 1 } : null;
  }

  function choose(number) {
    osd("");
    if (plain) {
      if (!goTrack(number)) flash("No track " + number + ".");
      return;
    }
    const list = lists.get(state.lid);
    const range = selectionNumbers(list);
    const target = range && number >= range.first && number <= range.last ? list.selections[number - range.first] : null;
    if (typeof target !== "number" || !lists.has(target)) {
      flash("Key " + number + " leads nowhere here.");
      return;
    }
    if (list.jump_delayed && state.phase === "playing") {
      state.pending = target;
      $("notice").textContent = "Key " + number + ": list " + target + " after this item.";
      return;
    }
    goList(target, "key " + number);
  }

  function digit(d) {
    clearTimeout(digitTimer);
    digits += d;
    osd(digits);
    const n = Number(digits);
    const list = lists.get(state.lid);
    const range = plain ? { last: disc.tracks.length } : selectionNumbers(list) || { last: 0 };
    // A second digit is awaited only while it could still name a selection.
    if (digits.length >= 2 || n * 10 > range.last) {
      digits = "";
      choose(n);
    } else {
      digitTimer = setTimeout(() => { digits = ""; choose(n); }, 1200);
    }
  }

  function key(name) {
    if (plain) {
      const step = { n: 1, p: -1 }[name];
      if (!step || !goTrack(state.track + step)) flash("No such track.");
      return;
    }
    const list = lists.get(state.lid);
    if (!list) return;
    const link = { n: list.next, p: list.prev, r: list["return"], d: list["default"] }[name];
    const label = { n: "NEXT", p: "PREV", r: "RETURN", d: "ENTER (default)" }[name];
    if (!goList(link, label)) flash(label + " is not available here.");
  }

  function flash(text) {
    $("notice").textContent = text;
    osd("✕");
    setTimeout(() => osd(""), 800);
  }

  document.addEventListener("keydown", (e) => {
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    $("notice").textContent = "";
    const k = e.key.toLowerCase();
    if (/^[0-9]$/.test(k)) digit(k);
    else if (k === "n" || k === "p" || k === "r") key(k);
    else if (k === "enter" && !plain) key("d");
    else return;
    e.preventDefault();
    if (video.paused && state.phase === "playing") start();
  });
  document.querySelectorAll("[data-key]").forEach((b) => b.addEventListener("click", () => key(b.dataset.key)));
  $("start").addEventListener("click", start);

  // ---- the panel ------------------------------------------------------------
  function describe(item) {
    if (!item) return "nothing";
    const m = item.kind === "track" ? media.get(item.number) : null;
    return item.kind + " " + item.number + (m ? " (" + m.seconds.toFixed(1) + " s)" : "");
  }

  function row(keyText, what) {
    const tr = document.createElement("tr");
    const a = document.createElement("td");
    const b = document.createElement("td");
    a.textContent = keyText;
    b.textContent = what;
    tr.append(a, b);
    $("links").append(tr);
  }

  function showWhere(why) {
    $("links").textContent = "";
    $("digits").textContent = "";
    const where = $("where");
    if (plain) {
      where.textContent = "Track " + state.track + " ";
      where.insertAdjacentHTML("beforeend", '<span class="kind">(no playback control: a plain track list)</span>');
      for (let t = 1; t <= disc.tracks.length; t++) addDigit(t, "track " + t);
      row("N / P", "track " + (state.track + 1) + " / track " + (state.track - 1));
      setKeys({ n: media.has(state.track + 1), p: media.has(state.track - 1), r: false });
      highlight(0);
      return;
    }
    const list = lists.get(state.lid);
    where.textContent = "List " + list.lid + " ";
    const kind = document.createElement("span");
    kind.className = "kind";
    kind.textContent = "(" + (list.kind === "selection" ? "selection list" : list.kind === "play" ? "play list" : list.kind) +
                       (why ? ", reached by " + why : "") + ")";
    where.append(kind);
    row("plays", list.items.length ? list.items.map(describe).join(", ") : "nothing");
    if (list.kind === "selection") {
      list.selections.forEach((target, i) => {
        const n = list.bsn + i;
        row(String(n), linkName(target));
        addDigit(n, linkName(target));
      });
      row("loop", list.loop === 0 ? "forever" : list.loop + "×");
      row("then wait", seconds(list.wait) + (list.wait >= 0 ? " → " + linkName(typeof list.timeout === "number" ? list.timeout : list["default"]) : ""));
    } else if (list.kind === "play") {
      row("then wait", seconds(list.wait) + (list.wait >= 0 ? " → " + linkName(list.next) : ""));
    }
    row("N (next)", linkName(list.next));
    row("P (previous)", linkName(list.prev));
    row("R (return)", linkName(list["return"]));
    if (list.kind === "selection") row("Enter (default)", linkName(list["default"]));
    setKeys({ n: typeof list.next === "number", p: typeof list.prev === "number", r: typeof list["return"] === "number" });
    highlight(list.lid);
  }

  function addDigit(n, title) {
    const b = document.createElement("button");
    b.textContent = String(n);
    b.title = title;
    b.addEventListener("click", () => choose(n));
    $("digits").append(b);
  }

  function setKeys(on) {
    $("key-next").disabled = !on.n;
    $("key-prev").disabled = !on.p;
    $("key-return").disabled = !on.r;
  }

  // ---- the map ----------------------------------------------------------------
  const W = 124, H = 46, GX = 70, GY = 22;

  function layout() {
    // Columns by distance from the first list along selections and next links.
    const depth = new Map();
    const queue = [disc.lists[0].lid];
    depth.set(queue[0], 0);
    while (queue.length) {
      const l = lists.get(queue.shift());
      const out = [...(l.selections || []), l.next, l.timeout, l["default"]];
      for (const t of out)
        if (typeof t === "number" && lists.has(t) && !depth.has(t)) {
          depth.set(t, depth.get(l.lid) + 1);
          queue.push(t);
        }
    }
    const columns = [];
    for (const l of disc.lists) {
      const d = depth.has(l.lid) ? depth.get(l.lid) : Math.max(0, ...depth.values()) + 1;
      (columns[d] = columns[d] || []).push(l.lid);
    }
    const pos = new Map();
    columns.forEach((col, c) => col.forEach((lid, r) => pos.set(lid, { x: 20 + c * (W + GX), y: 20 + r * (H + GY) })));
    return { pos, width: 40 + columns.length * (W + GX), height: 40 + Math.max(...columns.map((c) => c.length)) * (H + GY) };
  }

  function esc(text) {
    return String(text).replace(/[&<>"]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" }[c]));
  }

  function drawMap() {
    const svg = $("map");
    if (plain) {
      $("map-title").textContent = "Tracks (the image has no playback control)";
      $("legend").hidden = true;
    }
    const nodes = plain
      ? disc.tracks.map((t, i) => ({ id: t.track, x: 20 + i * (W + 16), y: 20, title: "Track " + t.track,
                                     sub: t.seconds.toFixed(1) + " s" }))
      : [];
    let edges = "";
    let width = 40 + nodes.length * (W + 16), height = 40 + H;
    if (!plain) {
      const { pos, width: w, height: h } = layout();
      width = w;
      height = h;
      for (const l of disc.lists) {
        const p = pos.get(l.lid);
        const kind = l.kind === "selection" ? "selection" : l.kind === "play" ? "play list" : l.kind;
        nodes.push({ id: l.lid, x: p.x, y: p.y, title: "List " + l.lid, sub: kind + " · " + (l.items.map((i) => i.kind[0] + i.number).join(" ") || "—") });
        const link = (target, cls, label, bend) => {
          if (typeof target !== "number" || !pos.has(target)) return;
          edges += edge(p, pos.get(target), cls, label, bend, target === l.lid);
        };
        (l.selections || []).forEach((t, i) => link(t, "select", String(l.bsn + i), 0));
        link(l.next, "next", "", 1);
        link(l.prev, "prev", "", -1);
        link(l["return"], "return", "", 2);
        link(l.timeout, "timeout", "", 3);
        link(l["default"], "default", "", -3);
      }
    }
    let boxes = "";
    for (const n of nodes)
      boxes += '<g class="box" data-id="' + n.id + '"><rect x="' + n.x + '" y="' + n.y + '" width="' + W + '" height="' + H +
               '" rx="6"/><text x="' + (n.x + 8) + '" y="' + (n.y + 18) + '">' + esc(n.title) + '</text><text class="sub" x="' +
               (n.x + 8) + '" y="' + (n.y + 35) + '">' + esc(n.sub) + "</text></g>";
    svg.setAttribute("width", width);
    svg.setAttribute("height", height);
    svg.setAttribute("viewBox", "0 0 " + width + " " + height);
    svg.innerHTML = '<defs><marker id="arrow" viewBox="0 0 10 10" refX="9" refY="5" markerWidth="7" markerHeight="7" ' +
                    'orient="auto-start-reverse"><path d="M0,0 L10,5 L0,10 z" fill="#c8ccd4"/></marker></defs>' +
                    edges + boxes;
    svg.querySelectorAll(".box").forEach((g) => g.addEventListener("click", () => {
      const id = Number(g.dataset.id);
      if (plain) goTrack(id);
      else goList(id, "the map");
    }));
  }

  function edge(a, b, cls, label, bend, self) {
    let d, lx, ly;
    if (self) {
      // A link back to the same list: a small loop over the box.
      const x = a.x + W / 2 + bend * 12, y = a.y;
      d = "M" + (x - 8) + "," + y + " C" + (x - 20) + "," + (y - 26) + " " + (x + 20) + "," + (y - 26) + " " + (x + 8) + "," + y;
      lx = x; ly = y - 22;
    } else if (a.x === b.x) {
      // Within a column: an arc beside the boxes, PREV links on the left,
      // the others on the right.
      const left = bend < 0, x1 = left ? a.x : a.x + W, x2 = left ? b.x : b.x + W;
      const y1 = a.y + H / 2 + bend * 3, y2 = b.y + H / 2 - bend * 3;
      const bulge = (left ? -1 : 1) * (18 + Math.abs(a.y - b.y) * 0.12 + Math.abs(bend) * 5);
      d = "M" + x1 + "," + y1 + " C" + (x1 + bulge) + "," + y1 + " " + (x2 + bulge) + "," + y2 + " " + x2 + "," + y2;
      lx = x1 + bulge * 0.8; ly = (y1 + y2) / 2;
    } else {
      const forward = b.x > a.x;
      const x1 = forward ? a.x + W : a.x + W / 2, y1 = forward ? a.y + H / 2 : a.y + H;
      const x2 = forward ? b.x : b.x + W / 2 + bend * 6, y2 = forward ? b.y + H / 2 : b.y + H;
      const sag = forward ? bend * 8 : 30 + Math.abs(bend) * 10 + Math.abs(a.y - b.y) * 0.1;
      const mx = (x1 + x2) / 2, my = (y1 + y2) / 2 + sag;
      d = "M" + x1 + "," + y1 + " Q" + mx + "," + my + " " + x2 + "," + y2;
      lx = x1 + (mx - x1) * 0.5 + 4; ly = y1 + (my - y1) * 0.5 - 3;
    }
    return '<path class="edge ' + cls + '" d="' + d + '" marker-end="url(#arrow)"/>' +
           (label ? '<text class="key" x="' + lx + '" y="' + ly + '">' + esc(label) + "</text>" : "");
  }

  function highlight(id) {
    document.querySelectorAll("#map .box").forEach((g) => {
      g.classList.toggle("current", Number(g.dataset.id) === (plain ? state.track : id));
    });
  }

  // ---- start ------------------------------------------------------------------
  $("title").textContent = "Video CD preview: " + (disc.album || disc.volume || disc.image || "disc") + " (" + disc.format + ")";
  document.title = "Preview: " + (disc.album || disc.volume || "Video CD");
  video.addEventListener("error", () => say("This browser cannot play " + (video.currentSrc || "the track") + "."));
  drawMap();
  if (plain) goTrack(disc.tracks.length ? disc.tracks[0].track : 1) || say("The image has no tracks.");
  else goList(disc.lists[0].lid, "the start of the disc");
  window.vcdPreview = { state: () => Object.assign({}, state), goList, key, digit };
})();
