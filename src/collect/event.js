"use strict";
// Each verdict may change the standing: the page is fetched again and its
// table and header replaced; at the deadline it is fetched once more.
(function () {
  let pending = false;
  function refresh() {
    if (pending) return;
    pending = true;
    fetch(location.pathname, {cache: "no-store"}).then(answer => answer.text()).then(html => {
      const fresh = new DOMParser().parseFromString(html, "text/html");
      for (const id of ["phase", "event"])
        document.getElementById(id).replaceWith(fresh.getElementById(id));
      document.title = fresh.title;
    }).finally(() => { pending = false; });
  }
  const events = new EventSource("/events");
  events.addEventListener("verdict", refresh);
  events.onopen = refresh;
  const closes = Number(document.body.dataset.closes);
  setTimeout(refresh, Math.max(0, closes - Date.now()) + 300);
})();
