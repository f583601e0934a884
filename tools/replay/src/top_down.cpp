#include "top_down.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "quorvane_object_detect/common.hpp"

namespace replay
{
namespace
{

constexpr float kVoxel = 0.025F;
constexpr float kRobotRadius = 0.25F;
const cv::Scalar kBackground(24, 24, 24);
const cv::Scalar kGrid(64, 64, 64);
const cv::Scalar kRobot(235, 235, 235);

cv::Vec3b palette(int index)
{
  const std::vector<int> & rgb = kColorPalette20.at(static_cast<std::size_t>(index));
  return {static_cast<uint8_t>(rgb[2]), static_cast<uint8_t>(rgb[1]), static_cast<uint8_t>(rgb[0])};
}

cv::Scalar scalar(const cv::Vec3b & colour)
{
  return {static_cast<double>(colour[0]), static_cast<double>(colour[1]),
    static_cast<double>(colour[2])};
}

// Far or non-finite points (a recording without a robot pose gives those)
// would make pixels OpenCV spends ages clipping.
bool drawable(const Eigen::Vector2f & p)
{
  constexpr float kFarthest = 100.0F;
  return p.allFinite() && p.cwiseAbs().maxCoeff() < kFarthest;
}

bool drawable(const std::vector<Eigen::Vector2f> & points)
{
  return std::all_of(points.begin(), points.end(),
           [](const Eigen::Vector2f & p) {return drawable(p);});
}

std::vector<cv::Point> pixels(const TopDownView & view, const std::vector<Eigen::Vector2f> & points)
{
  std::vector<cv::Point> out;
  for (const Eigen::Vector2f & p : points) {
    out.push_back(view.pixelOf(p));
  }
  return out;
}

void drawLegend(cv::Mat & image, const TopDownView & view)
{
  std::vector<std::pair<std::string, cv::Vec3b>> entries;
  for (int layer = 0; layer < kLayerCount; ++layer) {
    entries.emplace_back(layerName(layer), layerColour(layer));
  }
  entries.emplace_back("object", boxColour(false));
  entries.emplace_back("person", boxColour(true));
  entries.emplace_back("trash track", trackColour());
  entries.emplace_back("view", fieldOfViewColour());
  cv::Point at(8, view.legendTop() + 15);
  for (const auto & [name, colour] : entries) {
    int baseline = 0;
    const int width = 13 + 12 +
      cv::getTextSize(name, cv::FONT_HERSHEY_SIMPLEX, 0.35, 1, &baseline).width;
    if (at.x + width > image.cols) {
      at = {8, at.y + 17};
    }
    cv::rectangle(image, at + cv::Point(0, -9), at + cv::Point(9, 0), scalar(colour), cv::FILLED);
    cv::putText(image, name, at + cv::Point(13, 0), cv::FONT_HERSHEY_SIMPLEX, 0.35, kRobot, 1,
      cv::LINE_AA);
    at.x += width;
  }
}

}  // namespace

cv::Size TopDownView::size() const
{
  return {static_cast<int>(std::lround(2.0F * side * pixels_per_metre)),
    legendTop() + legend_rows};
}

int TopDownView::legendTop() const
{
  return static_cast<int>(std::lround((ahead + behind) * pixels_per_metre));
}

cv::Point TopDownView::pixelOf(const Eigen::Vector2f & base) const
{
  return {static_cast<int>(std::floor((side - base.y()) * pixels_per_metre)),
    static_cast<int>(std::floor((ahead - base.x()) * pixels_per_metre))};
}

TopDownView viewOfRange(const scene::Scene & rig, double range)
{
  constexpr float kBeyond = 0.5F;
  const float reach = static_cast<float>(range);
  TopDownView view;
  view.ahead = std::max(view.ahead, reach + kBeyond);
  for (const scene::Camera & camera : rig.cameras) {
    const scene::Intrinsics & k = camera.intrinsics;
    const Eigen::Vector2f origin = camera.base_from_optical.translation().head<2>();
    // The rays along the image's left and right edges, on the floor plane.
    for (const float column : {0.0F, static_cast<float>(k.width)}) {
      const Eigen::Vector3f ray =
        camera.base_from_optical.linear() * Eigen::Vector3f((column - k.cx) / k.fx, 0.0F, 1.0F);
      const Eigen::Vector2f flat = ray.head<2>();
      if (flat.norm() > 0.0F) {
        view.side = std::max(view.side, std::abs((origin + reach * flat.normalized()).y()));
      }
    }
  }
  return view;
}

cv::Vec3b layerColour(int layer)
{
  static const int kIndex[kLayerCount] = {12, 17, 3, 0, 9, 19};
  return palette(kIndex[layer]);
}

cv::Vec3b boxColour(bool person) {return palette(person ? 18 : 7);}
cv::Vec3b trackColour() {return palette(5);}
cv::Vec3b fieldOfViewColour() {return palette(13);}

std::vector<Eigen::Vector2f> fieldOfView(
  const Eigen::Vector2f & origin, const std::vector<Eigen::Vector2f> & outline)
{
  if (outline.empty()) {
    return {};
  }
  // Bearings from the first point's direction never wrap inside one view.
  const Eigen::Vector2f first = outline.front() - origin;
  const float heading = std::atan2(first.y(), first.x());
  float low = 0.0F;
  float high = 0.0F;
  float range = 0.0F;
  for (const Eigen::Vector2f & p : outline) {
    const Eigen::Vector2f d = p - origin;
    const float bearing = std::atan2(first.x() * d.y() - first.y() * d.x(), first.dot(d));
    low = std::min(low, bearing);
    high = std::max(high, bearing);
    range = std::max(range, d.norm());
  }
  constexpr int kArcSteps = 24;
  std::vector<Eigen::Vector2f> wedge{origin};
  for (int i = 0; i <= kArcSteps; ++i) {
    const float a = heading + low + (high - low) * static_cast<float>(i) / kArcSteps;
    wedge.push_back(origin + range * Eigen::Vector2f(std::cos(a), std::sin(a)));
  }
  return wedge;
}

cv::Mat drawTopDown(const TopDownContent & content, const TopDownView & view)
{
  cv::Mat image(view.size(), CV_8UC3, kBackground);
  // Drawing is clipped at the floor area's edge, off the legend.
  cv::Mat area = image.rowRange(0, view.legendTop());
  for (float x = -std::floor(view.behind); x <= view.ahead; x += 1.0F) {
    cv::line(area, view.pixelOf({x, view.side}), view.pixelOf({x, -view.side}), kGrid);
  }
  for (float y = -std::floor(view.side); y <= view.side; y += 1.0F) {
    cv::line(area, view.pixelOf({view.ahead, y}), view.pixelOf({-view.behind, y}), kGrid);
  }
  const int half = std::max(1, static_cast<int>(std::lround(0.5F * kVoxel * view.pixels_per_metre)));
  for (int layer = 0; layer < kLayerCount; ++layer) {
    const cv::Scalar colour = scalar(layerColour(layer));
    for (const Eigen::Vector2f & p : content.layers[static_cast<std::size_t>(layer)]) {
      if (!drawable(p)) {
        continue;
      }
      const cv::Point at = view.pixelOf(p);
      cv::rectangle(area, at - cv::Point(half, half), at + cv::Point(half, half), colour,
        cv::FILLED);
    }
  }
  for (std::size_t i = 0; i < content.boxes.size(); ++i) {
    const bool person = i < content.people.size() && content.people[i];
    if (!drawable(content.boxes[i])) {
      continue;
    }
    cv::polylines(area, pixels(view, content.boxes[i]), true, scalar(boxColour(person)), 1,
      cv::LINE_AA);
  }
  for (const auto & outline : content.fields_of_view) {
    if (!drawable(outline)) {
      continue;
    }
    cv::polylines(area, pixels(view, outline), true, scalar(fieldOfViewColour()), 1, cv::LINE_AA);
  }
  for (const TrackMark & track : content.tracks) {
    if (!drawable(track.at)) {
      continue;
    }
    const cv::Point at = view.pixelOf(track.at);
    cv::circle(area, at, 9, scalar(trackColour()), 2, cv::LINE_AA);
    cv::putText(area, track.name, at + cv::Point(11, 4), cv::FONT_HERSHEY_SIMPLEX, 0.4,
      scalar(trackColour()), 1, cv::LINE_AA);
  }
  const cv::Point origin = view.pixelOf({0.0F, 0.0F});
  cv::circle(area, origin, static_cast<int>(kRobotRadius * view.pixels_per_metre), kRobot, 2,
    cv::LINE_AA);
  cv::line(area, origin, view.pixelOf({kRobotRadius, 0.0F}), kRobot, 2, cv::LINE_AA);
  cv::putText(area, content.caption, {8, 20}, cv::FONT_HERSHEY_SIMPLEX, 0.5, kRobot, 1,
    cv::LINE_AA);
  drawLegend(image, view);
  return image;
}

}  // namespace replay
