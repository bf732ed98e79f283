"use strict";
// Keeps the grid current: each verdict comes as an event, and after a lost
// connection the grid is fetched again, so nothing is missed.
(function () {
  const live = document.getElementById("live");
  const grid = document.getElementById("grid");
  const cars = Array.from(grid.tHead.rows[0].cells).slice(1).map(th => th.textContent);

  function text(tag, content) {
    const element = document.createElement(tag);
    element.textContent = content;
    return element;
  }

  function row(player) {
    const cells = grid.querySelectorAll('td[data-player="' + CSS.escape(player) + '"]');
    if (cells.length > 0) return;
    const tr = grid.tBodies[0].insertRow();
    const th = document.createElement("th");
    th.appendChild(text("a", player)).href = "/player/" + encodeURIComponent(player);
    tr.appendChild(th);
    for (const car of cars) {
      const td = tr.insertCell();
      td.dataset.player = player;
      td.dataset.car = car;
      td.dataset.status = "none";
      td.textContent = "–";
    }
  }

  function show(record) {
    if (!record.player || !cars.includes(record.car)) return;
    row(record.player);
    const td = grid.querySelector('td[data-player="' + CSS.escape(record.player) + '"][data-car="' + CSS.escape(record.car) + '"]');
    td.dataset.status = record.status;
    const link = document.createElement("a");
    link.href = "/player/" + encodeURIComponent(record.player) + "#history-" + record.car;
    link.appendChild(text("span", record.status)).className = "s " + record.status;
    link.appendChild(text("time", record.shown_time));
    td.replaceChildren(link);
    count();
  }

  function count() {
    const counts = {};
    for (const td of grid.querySelectorAll("td[data-status]"))
      counts[td.dataset.status] = (counts[td.dataset.status] || 0) + 1;
    for (const b of document.querySelectorAll("b[data-count]")) {
      b.textContent = b.dataset.count === "players" ? grid.tBodies[0].rows.length : (counts[b.dataset.count] || 0);
    }
  }

  let lost = false;
  const events = new EventSource("/events");
  events.addEventListener("verdict", event => show(JSON.parse(event.data)));
  events.onopen = () => {
    live.textContent = "Live: cells change as files arrive.";
    live.className = "live on";
    if (lost)
      fetch("/").then(answer => answer.text()).then(html => {
        const fresh = new DOMParser().parseFromString(html, "text/html").getElementById("grid");
        grid.tBodies[0].replaceWith(fresh.tBodies[0]);
        count();
      });
    lost = false;
  };
  events.onerror = () => {
    live.textContent = "The collector cannot be reached; trying again.";
    live.className = "live off";
    lost = true;
  };
})();
