#pragma once

#include <cstdint>

#include "pelorin/perception/records.hpp"
#include "scene/camera.hpp"

namespace ground_test
{

// A forward-looking depth camera 0.1 m ahead of the base, pitched down, with
// 5 mm of depth noise and 2 m of range.
scene::Camera groundCamera(float mount_height = 0.35f, float pitch = 0.45f, uint32_t seed = 1);

// Ground-removal settings we drive with, for a camera mounted like `camera`.
pelorin::perception::GroundRemovalParams groundParamsFor(const scene::Camera & camera);

}  // namespace ground_test
