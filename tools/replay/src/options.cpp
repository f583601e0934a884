#include "options.hpp"

#include <cstdlib>
#include <sstream>

namespace replay
{
namespace
{

double number(const std::string & flag, const std::string & text)
{
  char * end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') {
    throw UsageError(flag + ": '" + text + "' is not a number");
  }
  return value;
}

std::vector<double> numbers(const std::string & flag, const std::string & text, std::size_t count)
{
  std::vector<double> values;
  std::istringstream parts(text);
  std::string part;
  while (std::getline(parts, part, ',')) {
    values.push_back(number(flag, part));
  }
  if (values.size() != count) {
    throw UsageError(flag + " takes " + std::to_string(count) + " comma-separated numbers");
  }
  return values;
}

}  // namespace

Options parseOptions(const std::vector<std::string> & args)
{
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string & flag = args[i];
    if (flag == "-h" || flag == "--help") {
      options.help = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      throw UsageError(flag.rfind("--", 0) == 0 ? flag + " needs a value" : "unknown argument " + flag);
    }
    const std::string & value = args[++i];
    if (flag == "--tum") {
      options.tum = value;
    } else if (flag == "--camera") {
      options.camera.file = value;
    } else if (flag == "--intrinsics") {
      options.camera.intrinsics = numbers(flag, value, 4);
    } else if (flag == "--mount") {
      options.camera.mount = numbers(flag, value, 5);
    } else if (flag == "--depth-scale") {
      options.camera.depth_scale = number(flag, value);
    } else if (flag == "--params") {
      options.params = value;
    } else if (flag == "--out") {
      options.out = value;
    } else if (flag == "--frames") {
      const double frames = number(flag, value);
      if (frames < 1 || frames != static_cast<double>(static_cast<std::size_t>(frames))) {
        throw UsageError("--frames takes a whole number of at least 1");
      }
      options.frames = static_cast<std::size_t>(frames);
    } else {
      throw UsageError("unknown argument " + flag);
    }
  }
  const bool camera_given = !options.camera.file.empty() || options.camera.intrinsics ||
    options.camera.mount || options.camera.depth_scale;
  if (options.tum.empty() && camera_given) {
    throw UsageError("camera settings belong to --tum");
  }
  if (!options.tum.empty() && options.camera.file.empty() && !options.camera.intrinsics) {
    throw UsageError("--tum needs the camera: --camera FILE or --intrinsics fx,fy,cx,cy");
  }
  return options;
}

std::string usage()
{
  return
    "usage: object_detect_replay [--tum FOLDER (--camera FILE | --intrinsics fx,fy,cx,cy)\n"
    "                             [--mount forward,left,height,pitch_down,yaw] [--depth-scale N]]\n"
    "                            [--params FILE] [--out FOLDER] [--frames N]\n"
    "\n"
    "Runs the object-detection node in-process on the built-in generated scene, or\n"
    "on a TUM RGB-D folder (rgb/, depth/, rgb.txt, depth.txt, optional\n"
    "groundtruth.txt), and writes what it publishes into the output folder.\n"
    "\n"
    "  --tum FOLDER       the TUM folder; names in its lists may also be absolute paths\n"
    "  --camera FILE      YAML: fx, fy, cx, cy, depth_units_per_metre and mount\n"
    "                     {forward, left, height, pitch_down, yaw} (metres, radians)\n"
    "  --intrinsics       fx,fy,cx,cy in pixels (over the file's)\n"
    "  --mount            the camera on the robot (over the file's; default 0,0,0.45,0,0)\n"
    "  --depth-scale N    depth image units per metre (default 5000 as in TUM)\n"
    "  --params FILE      node parameters over the shipped config/object_detect.yaml\n"
    "                     and the demo settings (replay_parameters.yaml in the output)\n"
    "  --out FOLDER       output folder (default replay_out)\n"
    "  --frames N         play at most N frames\n";
}

}  // namespace replay
