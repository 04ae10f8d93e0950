#include "live_page.h"

#include <string_view>

namespace host {

namespace {

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>widget-host: live</title>
<meta name="widget-host-token" content=")";

constexpr std::string_view kBody = R"(">
<style>
body{font:14px system-ui,sans-serif;margin:1em;background:#f4f4f6}
section{display:inline-block;vertical-align:top;margin:0 1.5em 1.5em 0}
.phone{background:#223;border-radius:28px;padding:18px;color:#fff}
.island{display:inline-flex;align-items:center;background:#000;border-radius:40px;padding:4px 10px;gap:30px}
img{display:block;max-width:100%}
#status,#stale{margin:.5em 0;padding:.4em;background:#fff;border-left:4px solid #888}
#stale{border-color:#e90}
.badge{background:#fc0;color:#000;border-radius:6px;padding:0 .4em;font-size:70%;vertical-align:middle}
.activity .phone{width:fit-content}.activity .dates{color:#555;font-size:85%}
form label{display:block;margin:2px 0}form label span{display:inline-block;width:9em}
</style></head><body>
<h1>Kadenzo widget, live</h1>
<div id="status">starting…</div>
<div id="stale" hidden>The stored preset changed. The widget keeps its timeline until timelines are reloaded.</div>
<section><h2>Home screen</h2><div class="phone"><img id="widget-1" alt="the widget" width="170"></div></section>
<div id="sample"><section><h2>Lock screen</h2><p>A sample activity: none is stored.</p>
<div class="phone"><img id="lock-screen" alt="the Live Activity" width="360"></div></section>
<section><h2>Dynamic Island</h2>
<p>Compact</p><img id="compact" alt="compact, around the camera" width="250">
<p>Minimal</p><div class="island"><img id="minimal" alt="minimal"></div>
<p>Expanded</p><div class="phone"><img id="expanded" alt="expanded" width="360"></div></section></div>
<div id="activities"></div>
<section><h2>Preset (as the host app stores it)</h2><form id="preset"></form>
<button id="store">Store preset</button> <button id="reload">Reload timelines</button><p id="answer"></p></section>
<script>
const token = document.querySelector('meta[name="widget-host-token"]').content;
const fields = [["isPlaylingList","false"],["poly1","4"],["poly2","1"],["polyBar","1"],["bars","4"],["bpm","120"],
  ["note","4"],["beat","4"],["subdivision","0"],["acc","2000"],["name","Preset"],["rythmMode","0"],
  ["id","3AFBD376-5AEC-4704-9518-98A648685F20"]];
const stringFields = new Set(["subdivision","acc","name","id"]);
const form = document.getElementById("preset");
for (const [name, value] of fields) {
  form.insertAdjacentHTML("beforeend", `<label><span>${name}</span><input name="${name}" value="${value}"></label>`);
}
function presetText() {
  const preset = {};
  for (const [name] of fields) {
    const text = form.elements[name].value;
    if (stringFields.has(name)) preset[name] = text;
    else if (text === "true" || text === "false") preset[name] = text === "true";
    else if (text.trim() !== "" && !isNaN(Number(text))) preset[name] = Number(text);
    else preset[name] = text;
  }
  return JSON.stringify(preset);
}
async function post(path, body) {
  const response = await fetch(path, {method: "POST", headers: {"X-Widget-Host-Token": token,
    "Content-Type": "application/json"}, body});
  document.getElementById("answer").textContent = await response.text();
}
document.getElementById("store").onclick = () => post("/api/preset", presetText());
document.getElementById("reload").onclick = () => post("/api/reload", JSON.stringify({reason: "the page's button"}));
const events = new EventSource("/events");
events.addEventListener("pictures", (event) => {
  for (const [name, address] of Object.entries(JSON.parse(event.data))) {
    const image = document.getElementById(name);
    if (image && image.getAttribute("src") !== address) image.src = address;
  }
});
// Each stored activity in a section of its own, removed at its dismissal.
const activities = document.getElementById("activities");
events.addEventListener("activity", (event) => {
  const activity = JSON.parse(event.data);
  let shown = document.getElementById("activity-" + activity.id);
  if (activity.state === "dismissed") {
    if (shown) shown.remove();
  } else {
    if (!shown) {
      shown = document.createElement("section");
      shown.id = "activity-" + activity.id;
      shown.className = "activity";
      shown.innerHTML = `<h2>Activity <code></code> <span class="badge" hidden></span></h2>
<div class="phone"><img data-picture="lock-screen" alt="lock screen" width="360"></div>
<p>Compact</p><img data-picture="compact" alt="compact" width="250">
<p>Minimal</p><div class="island"><img data-picture="minimal" alt="minimal"></div>
<p>Expanded</p><div class="phone"><img data-picture="expanded" alt="expanded" width="360"></div><p class="dates"></p>`;
      shown.querySelector("code").textContent = activity.id;
      activities.append(shown);
    }
    shown.dataset.state = activity.state;
    const badge = shown.querySelector(".badge");
    badge.textContent = {stale: "Stale", ended: "Ended"}[activity.state] || "";
    badge.hidden = !badge.textContent;
    for (const image of shown.querySelectorAll("img[data-picture]")) {
      const address = (activity.pictures || {})[image.dataset.picture];
      image.hidden = !address;
      if (address && image.getAttribute("src") !== address) image.src = address;
    }
    shown.querySelector(".dates").textContent = "started " + activity.startedAt + "; content of " +
      activity.contentTimestamp + (activity.staleDate ? "; stale from " + activity.staleDate : "") +
      (activity.endedAt ? "; ended " + activity.endedAt : "") +
      (activity.dismissalDate ? "; dismissed at " + activity.dismissalDate : "") +
      (activity.failure ? "; not drawn: " + activity.failure : "");
  }
  document.getElementById("sample").hidden = activities.children.length > 0;
});
events.addEventListener("status", (event) => {
  const status = JSON.parse(event.data);
  document.getElementById("stale").hidden = !status.stale;
  document.getElementById("status").textContent = "extension: " +
    (status.pid ? "process " + status.pid : "not running") + "; last answer: " + (status.lastAnswer || "none") +
    (status.failure ? "; failure: " + status.failure : "") + (status.noPictures ? "; no pictures: " + status.noPictures : "") +
    status.notes.map((note) => "; the extension says: " + note).join("");
});
events.addEventListener("preferences", (event) => {
  document.getElementById("stale").hidden = !JSON.parse(event.data).stale;
});
events.addEventListener("extension", (event) => {
  const what = JSON.parse(event.data);
  document.getElementById("answer").textContent = "extension " + what.what + (what.why ? ": " + what.why : "");
});
</script></body></html>
)";

}  // namespace

std::string livePage(const std::string& token) { return std::string(kHead) + token + std::string(kBody); }

}  // namespace host
