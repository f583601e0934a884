#include "depth_scene.hpp"

#include "scene/render.hpp"

namespace ground_scene
{

LabelledCloud renderDepthCloud(const scene::Room & room, const Camera & camera, uint32_t seed)
{
  scene::Camera c;
  c.intrinsics = {camera.width, camera.height, camera.fx, camera.fy, camera.cx, camera.cy};
  c.base_from_optical = scene::mountPose(camera.x, camera.mount_height, camera.pitch);
  c.noise.sigma = camera.depth_noise;
  c.noise.seed = seed;
  c.max_depth = camera.max_depth;
  return scene::depthCloud(scene::render(room, c), c, camera.stride);
}

}  // namespace ground_scene
