#include "scene_source.hpp"

#include <cmath>
#include <utility>

namespace replay
{

SceneSource::SceneSource(scene::Scene scene, double seconds, double rate)
: scene_(std::move(scene)), rate_(rate),
  frames_(static_cast<std::size_t>(std::floor(seconds * rate)))
{
}

SourceFrame SceneSource::frame(std::size_t index) const
{
  SourceFrame out;
  out.t = static_cast<double>(index) / rate_;
  out.stamp = kFirstStamp + out.t;
  out.colour_stamp = out.stamp;
  for (std::size_t camera = 0; camera < scene_.cameras.size(); ++camera) {
    out.views.push_back(scene::render(scene_, camera, out.t));
  }
  return out;
}

}  // namespace replay
