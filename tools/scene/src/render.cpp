#include "scene/render.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "depth_noise.hpp"
#include "shapes.hpp"

namespace scene
{
namespace
{

using detail::kMiss;

static_assert(sizeof(Rgb) == 3, "one rgb8 pixel");

struct Surface
{
  int id;
  Rgb colour;
};

// Pixels [u0, u1) x [v0, v1).
struct PixelRect
{
  int u0, u1, v0, v1;
};

void checkIds(const Room & room)
{
  const auto bad = [](int id) {
      throw std::invalid_argument("scene ids must be positive, not " + std::to_string(id));
    };
  for (const Object & o : room.objects) {
    if (o.id <= 0) {bad(o.id);}
  }
  for (const FloorPatch & p : room.patches) {
    if (p.id <= 0) {bad(p.id);}
  }
}

// Ray casting straight into the frame: depth holds the ray parameter, ids
// an index into surfaces_ until finish() writes the ids and colours.  Pixel
// (u, v) looks along (a[u], b[v], 1) in the optical frame, so a ray's
// parameter is the pixel's depth.
class Caster
{
public:
  Caster(const Room & room, const Camera & camera, const Eigen::Isometry3f & odom_from_base, double t)
  : room_(room), k_(camera.intrinsics), odom_from_optical_(odom_from_base * camera.base_from_optical),
    optical_from_odom_(odom_from_optical_.inverse()), t_(t),
    a_(static_cast<std::size_t>(k_.width)), b_(static_cast<std::size_t>(k_.height))
  {
    for (int u = 0; u < k_.width; ++u) {a_[static_cast<std::size_t>(u)] = (u - k_.cx) / k_.fx;}
    for (int v = 0; v < k_.height; ++v) {b_[static_cast<std::size_t>(v)] = (v - k_.cy) / k_.fy;}
    // Indexed by -id: kNothing, kFloor, kRamp, kWall.
    surfaces_ = {{kNothing, Rgb{}}, {kFloor, room.floor_colour}, {kRamp, room.floor_colour},
      {kWall, room.wall_colour}};
    frame_.t = t;
    frame_.odom_from_base = odom_from_base;
    frame_.depth.create(k_.height, k_.width, CV_32FC1);
    frame_.ids.create(k_.height, k_.width, CV_32SC1);
    frame_.colour.create(k_.height, k_.width, CV_8UC3);
    depth_ = frame_.depth.ptr<float>();
    surface_ = frame_.ids.ptr<int32_t>();
  }

  void castBackground()
  {
    const detail::Background background(room_, odom_from_optical_.translation());
    const Eigen::Matrix3f r = odom_from_optical_.linear();
    for (int v = 0; v < k_.height; ++v) {
      const std::size_t line = static_cast<std::size_t>(v) * a_.size();
      int32_t * ids = surface_ + line;
      background.castRow(r.col(2) + b_[static_cast<std::size_t>(v)] * r.col(1), r.col(0), a_.data(),
        a_.size(), depth_ + line, ids);
      for (std::size_t u = 0; u < a_.size(); ++u) {ids[u] = -ids[u];}
    }
  }

  void castObject(const Object & o)
  {
    // Lambdas, not function pointers: the hit is inlined into the pixel loop.
    if (o.shape == Shape::kBox) {
      castObject(o, [](const auto & ... ray) {return detail::hitBox(ray ...);});
    } else {
      castObject(o, [](const auto & ... ray) {return detail::hitCylinder(ray ...);});
    }
  }

  // After the objects: paint only shows where the floor is seen.
  void paintPatch(const FloorPatch & p)
  {
    const int first_patch = static_cast<int>(4 + room_.objects.size());
    const int index = addSurface(p.id, p.colour);
    std::vector<Eigen::Vector3f> outline;
    for (const float sx : {-1.0f, 1.0f}) {
      for (const float sy : {-1.0f, 1.0f}) {
        const Eigen::Vector2f xy =
          p.centre + Eigen::Rotation2Df(p.yaw) * p.half_size.cwiseProduct(Eigen::Vector2f(sx, sy));
        outline.emplace_back(xy.x(), xy.y(), 0.0f);
        outline.emplace_back(xy.x(), xy.y(), detail::floorHeight(room_, xy.x()));
      }
    }
    const detail::PatchArea area(p);
    const Eigen::Vector3f origin = odom_from_optical_.translation();
    forEachPixel(pixelsOf(outline), odom_from_optical_.linear(),
      [&](std::size_t i, const Eigen::Vector3f & dir) {
        const int s = surface_[i];
        const bool floor = s == -kFloor || s == -kRamp || s >= first_patch;
        if (floor && area.contains((origin + depth_[i] * dir).head<2>())) {surface_[i] = index;}
      });
  }

  Frame finish(const Camera & camera)
  {
    auto * colour = frame_.colour.ptr<uint8_t>();
    const std::size_t size = frame_.depth.total();
    for (std::size_t i = 0; i < size; ++i) {
      const Surface & s = surfaces_[static_cast<std::size_t>(surface_[i])];
      surface_[i] = s.id;
      std::memcpy(colour + 3 * i, &s.colour, 3);
      if (!(depth_[i] < camera.max_depth)) {depth_[i] = 0.0f;}
    }
    detail::addDepthNoise(frame_.depth, camera, t_);
    return frame_;
  }

private:
  int addSurface(int id, Rgb colour)
  {
    surfaces_.push_back({id, colour});
    return static_cast<int>(surfaces_.size() - 1);
  }

  template<typename Hit>
  void castObject(const Object & o, Hit hit)
  {
    const int index = addSurface(o.id, o.colour);
    const Eigen::Matrix3f own_from_optical = o.rotation.transpose() * odom_from_optical_.linear();
    const Eigen::Vector3f origin =
      o.rotation.transpose() * (odom_from_optical_.translation() - o.centreAt(t_));
    forEachPixel(pixelsOf(detail::corners(o, t_)), own_from_optical,
      [&](std::size_t i, const Eigen::Vector3f & dir) {
        const float t = hit(o.half_size, origin, dir);
        if (t < depth_[i]) {
          depth_[i] = t;
          surface_[i] = index;
        }
      });
  }

  // The pixels the convex hull of `points` covers, a pixel wider all round:
  // none when all lie behind the camera, all when some do.
  template<typename Points>
  PixelRect pixelsOf(const Points & points) const
  {
    float u_min = kMiss, u_max = -kMiss, v_min = kMiss, v_max = -kMiss;
    std::size_t behind = 0;
    for (const Eigen::Vector3f & p : points) {
      const Eigen::Vector3f q = optical_from_odom_ * p;
      if (q.z() < 1e-3f) {
        ++behind;
        continue;
      }
      const float u = k_.fx * q.x() / q.z() + k_.cx;
      const float v = k_.fy * q.y() / q.z() + k_.cy;
      u_min = std::min(u_min, u), u_max = std::max(u_max, u);
      v_min = std::min(v_min, v), v_max = std::max(v_max, v);
    }
    if (behind == std::size(points)) {return {0, 0, 0, 0};}
    if (behind > 0) {return {0, k_.width, 0, k_.height};}
    // Clamped as floats: far outside the image they overflow an int.
    const auto edge = [](float x, int size) {
        return static_cast<int>(std::clamp(x, 0.0f, static_cast<float>(size)));
      };
    return {edge(std::floor(u_min) - 1.0f, k_.width), edge(std::ceil(u_max) + 2.0f, k_.width),
      edge(std::floor(v_min) - 1.0f, k_.height), edge(std::ceil(v_max) + 2.0f, k_.height)};
  }

  // cast(i, dir) for every pixel of the rectangle, dir = rotation * optical ray.
  template<typename Cast>
  void forEachPixel(const PixelRect & rect, const Eigen::Matrix3f & rotation, Cast cast) const
  {
    for (int v = rect.v0; v < rect.v1; ++v) {
      const Eigen::Vector3f row = rotation.col(2) + b_[static_cast<std::size_t>(v)] * rotation.col(1);
      const std::size_t line = static_cast<std::size_t>(v) * static_cast<std::size_t>(k_.width);
      for (int u = rect.u0; u < rect.u1; ++u) {
        cast(line + static_cast<std::size_t>(u), row + a_[static_cast<std::size_t>(u)] * rotation.col(0));
      }
    }
  }

  const Room & room_;
  const Intrinsics & k_;
  const Eigen::Isometry3f odom_from_optical_;
  const Eigen::Isometry3f optical_from_odom_;
  const double t_;
  std::vector<float> a_;
  std::vector<float> b_;
  std::vector<Surface> surfaces_;
  Frame frame_;
  float * depth_;
  int32_t * surface_;
};

}  // namespace

Frame render(const Room & room, const Camera & camera, const Eigen::Isometry3f & odom_from_base,
  double t)
{
  checkIds(room);
  Caster caster(room, camera, odom_from_base, t);
  caster.castBackground();
  for (const Object & o : room.objects) {caster.castObject(o);}
  for (const FloorPatch & p : room.patches) {caster.paintPatch(p);}
  return caster.finish(camera);
}

Frame render(const Scene & scene, std::size_t camera, double t)
{
  return render(scene.room, scene.cameras.at(camera), scene.robot.odomFromBase(t), t);
}

cv::Mat millimetres(const cv::Mat & metres)
{
  cv::Mat out;
  metres.convertTo(out, CV_16UC1, 1000.0);
  return out;
}

}  // namespace scene
