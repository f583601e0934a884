#pragma once

#include "frame_source.hpp"

namespace replay
{

// A generated scene rendered at a fixed rate from t = 0, stamped from 1000 s
// on (a zero stamp would read as "no time" to tf2 and the node's clock).
class SceneSource : public FrameSource
{
public:
  SceneSource(scene::Scene scene, double seconds, double rate);

  std::string name() const override {return "built-in scene";}
  const scene::Scene & rig() const override {return scene_;}
  std::size_t size() const override {return frames_;}
  SourceFrame frame(std::size_t index) const override;

  static constexpr double kFirstStamp = 1000.0;

private:
  scene::Scene scene_;
  double rate_;
  std::size_t frames_;
};

}  // namespace replay
