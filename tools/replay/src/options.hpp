#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace replay
{

// The camera of a TUM folder as given on the command line; unset fields come
// from the --camera file or its defaults.
struct CameraArguments
{
  std::string file;                    // --camera
  std::optional<std::vector<double>> intrinsics;  // --intrinsics fx,fy,cx,cy
  std::optional<std::vector<double>> mount;  // --mount forward,left,height,pitch_down,yaw
  std::optional<double> depth_scale;   // --depth-scale, depth units per metre
};

struct Options
{
  std::string tum;     // empty: the built-in scene
  CameraArguments camera;
  std::string params;  // over the shipped parameters file and the demo settings
  std::string out = "replay_out";
  std::optional<std::size_t> frames;
  bool help = false;
};

// A command line the tool cannot run; what() says why.
class UsageError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// argv without argv[0].  Throws UsageError.
Options parseOptions(const std::vector<std::string> & args);

std::string usage();

}  // namespace replay
