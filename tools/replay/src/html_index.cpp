#include "html_index.hpp"

#include <fstream>
#include <stdexcept>

#include <fmt/format.h>

#include "json_lines.hpp"

namespace replay
{
namespace
{

std::string escaped(const std::string & raw)
{
  std::string out;
  for (const char c : raw) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// JSON inside <script> must not close the element.
std::string scriptSafe(std::string json)
{
  for (std::size_t at = 0; (at = json.find("</", at)) != std::string::npos; at += 3) {
    json.replace(at, 2, "<\\/");
  }
  return json;
}

std::string framesJson(const std::vector<FramePage> & frames)
{
  std::vector<google::protobuf::Value> pages;
  for (const FramePage & page : frames) {
    std::vector<google::protobuf::Value> images;
    for (const std::string & image : page.detection_images) {
      images.push_back(text(image));
    }
    pages.push_back(object(json({
        {"frame", number(static_cast<double>(page.frame))}, {"t", number(page.t)},
        {"top_down", text(page.top_down)}, {"detections", list(images)}})));
  }
  return scriptSafe(toJson(json({{"frames", list(pages)}})));
}

std::string stageRows(const ReplaySummary & summary)
{
  std::string rows;
  for (const auto & [camera, times] : summary.frame_ms) {
    rows += fmt::format("<tr><td>{}</td><td>whole frame (wall)</td><td>{}</td>"
        "<td>{:.0f}</td><td>{:.0f}</td></tr>\n", camera, times.count, 1000.0 * times.median,
        1000.0 * times.p95);
  }
  for (const auto & [key, times] : summary.stage_us) {
    rows += fmt::format("<tr><td>{}</td><td>{}</td><td>{}</td><td>{:.0f}</td><td>{:.0f}</td></tr>\n",
        key.first, escaped(key.second), times.count, times.median, times.p95);
  }
  return rows;
}

const char * const kPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>object_detect replay</title>
<style>
body {{ font-family: sans-serif; background: #181818; color: #ddd; margin: 1em; }}
img {{ margin: 4px; border: 1px solid #444; max-width: 48%; }}
table {{ border-collapse: collapse; font-size: 90%; }}
td, th {{ border: 1px solid #444; padding: 2px 8px; text-align: right; }}
#bar {{ margin: 0.5em 0; }} input[type=range] {{ width: 50%; }}
</style></head><body>
<h2>object_detect replay: {source}</h2>
<p>{played} of {planned} frames{stopped} in {seconds:.1f} s ({rate:.1f} frames/s).
Details in <a href="summary.json">summary.json</a>, the node's log in
<a href="node.log">node.log</a>.</p>
<div id="bar"><button id="prev">&larr;</button> <button id="play">play</button>
<button id="next">&rarr;</button> <input id="slider" type="range" min="0" value="0">
<span id="label"></span></div>
<div id="images"></div>
<h3>Times (microseconds)</h3>
<table><tr><th>camera</th><th>stage</th><th>count</th><th>median</th><th>p95</th></tr>
{rows}</table>
<script>
const replay = {frames};
const slider = document.getElementById('slider');
slider.max = Math.max(replay.frames.length - 1, 0);
let timer = null;
function show(i) {{
  if (!replay.frames.length) return;
  i = Math.min(Math.max(i, 0), replay.frames.length - 1);
  slider.value = i;
  const f = replay.frames[i];
  document.getElementById('label').textContent = 'frame ' + f.frame + ', t = ' + f.t.toFixed(2) + ' s';
  document.getElementById('images').innerHTML = [f.top_down].concat(f.detections)
    .map(src => '<img src="' + src + '">').join('');
}}
function step(d) {{ show(Number(slider.value) + d); }}
document.getElementById('prev').onclick = () => step(-1);
document.getElementById('next').onclick = () => step(1);
slider.oninput = () => show(Number(slider.value));
document.getElementById('play').onclick = () => {{
  if (timer) {{ clearInterval(timer); timer = null; return; }}
  timer = setInterval(() => step(1), 1000 / 15);
}};
document.onkeydown = e => {{ if (e.key === 'ArrowLeft') step(-1); if (e.key === 'ArrowRight') step(1); }};
show(0);
</script></body></html>
)";

}  // namespace

void writeIndex(const std::string & file, const std::vector<FramePage> & frames,
  const ReplaySummary & summary)
{
  std::ofstream out(file);
  if (!out) {
    throw std::runtime_error("cannot write " + file);
  }
  out << fmt::format(fmt::runtime(kPage), fmt::arg("source", escaped(summary.source)),
    fmt::arg("played", summary.frames_played), fmt::arg("planned", summary.frames_planned),
    fmt::arg("stopped", summary.interrupted ? " (stopped)" : ""),
    fmt::arg("seconds", summary.wall_seconds), fmt::arg("rate", framesPerSecond(summary)),
    fmt::arg("rows", stageRows(summary)), fmt::arg("frames", framesJson(frames)));
}

}  // namespace replay
