#pragma once

#include <array>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <opencv2/core.hpp>

#include "recorder.hpp"
#include "scene/scene.hpp"

// The floor around the robot from above, in base_footprint: x (ahead) up the
// picture, y (left) to the left.
namespace replay
{

struct TopDownView
{
  float ahead = 3.5F;   // metres shown ahead of the base origin
  float behind = 1.0F;
  float side = 2.25F;   // metres shown to each side
  float pixels_per_metre = 120.0F;
  int legend_rows = 40;   // the band under the floor that holds the legend

  cv::Size size() const;
  int legendTop() const;
  cv::Point pixelOf(const Eigen::Vector2f & base) const;
};

// The default view, grown to show what the cameras of `rig` see out to
// `range` metres (the node's point_cloud_max_range): half a metre beyond it
// ahead, and the outer edges of their fields of view at the sides.
TopDownView viewOfRange(const scene::Scene & rig, double range);

struct TrackMark
{
  Eigen::Vector2f at;
  std::string name;
};

struct TopDownContent
{
  std::array<std::vector<Eigen::Vector2f>, kLayerCount> layers;
  std::vector<std::vector<Eigen::Vector2f>> boxes;  // object-list outlines
  std::vector<bool> people;                         // per box
  std::vector<TrackMark> tracks;
  std::vector<std::vector<Eigen::Vector2f>> fields_of_view;
  std::string caption;
};

// BGR colour of a layer, boxes, people, tracks and field of view: entries of
// kColorPalette20.
cv::Vec3b layerColour(int layer);
cv::Vec3b boxColour(bool person);
cv::Vec3b trackColour();
cv::Vec3b fieldOfViewColour();

// The wedge a camera at `origin` sees: between the outline points of least
// and greatest bearing, out to the farthest one.
std::vector<Eigen::Vector2f> fieldOfView(
  const Eigen::Vector2f & origin, const std::vector<Eigen::Vector2f> & outline);

// Points as squares of one 2.5 cm voxel, layer over layer in Layer order,
// then boxes, fields of view, tracks, the robot and the caption; the legend
// below.
cv::Mat drawTopDown(const TopDownContent & content, const TopDownView & view = {});

}  // namespace replay
