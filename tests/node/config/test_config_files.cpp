// The package's configuration files: path rule, cluster file, detector
// sections, the AI set-up, and the shipped files themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <string>
#include <vector>

#include "config_test_support.hpp"
#include "quorvane_object_detect/camera_config.hpp"
#include "semantic.pb.h"

namespace
{

namespace config = quorvane::camera_config;
using config_test::captureLog;
using config_test::makeNode;

const auto * const kEnvironment =
  ::testing::AddGlobalTestEnvironment(new config_test::RclcppEnvironment);

const std::string kSourceConfig = std::string(QUORVANE_SOURCE_DIR) + "/config/";

// The text of `error` after "<role> "<path>": ".
std::string reason(const config::ConfigFileError & error, const std::string & role,
  const std::string & path)
{
  const std::string text = error.what();
  const std::string head = role + " \"" + path + "\": ";
  EXPECT_EQ(text.rfind(head, 0), 0u) << text;
  return text.substr(std::min(head.size(), text.size()));
}

TEST(ConfigFiles, RelativeNamesResolveInThePackageConfigFolder)
{
  setenv("AMENT_PREFIX_PATH", QUORVANE_AMENT_PREFIX, 1);
  const std::string config_dir =
    std::string(QUORVANE_AMENT_PREFIX) + "/share/quorvane_object_detect/config";
  EXPECT_EQ(config::packageConfigPath("point_cloud_cluster.yaml"),
    config_dir + "/point_cloud_cluster.yaml");
  EXPECT_EQ(config::packageConfigPath("/etc/x.yaml"), config_dir + "//etc/x.yaml");
  EXPECT_EQ(config::cameraSection(1), "camera_01");
  EXPECT_EQ(config::cameraSection(10), "camera_010");
}

TEST(ConfigFiles, ClusterFile)
{
  config_test::TempDir dir;
  const auto good = dir.write("good.yaml",
      "cluster_grid_step: .inf\ncluster_grid_kernelSize: 5\ncluster_grid_th: 4\n");
  const auto para = config::readCloudClusterFile(good);
  EXPECT_TRUE(std::isinf(para.grid_step) && para.grid_step > 0);
  EXPECT_EQ(para.grid_kernelSize, 5);
  EXPECT_EQ(para.grid_th, 4);

  struct Failure {const char * what; std::string text; std::string reason;};
  const std::vector<Failure> failures{
    {"missing key", "cluster_grid_step: 0.1\ncluster_grid_kernelSize: 3\n",
      "key \"cluster_grid_th\" is missing"},
    {"not an integer", "cluster_grid_step: 0.1\ncluster_grid_kernelSize: 2.5\ncluster_grid_th: 2\n",
      "key \"cluster_grid_kernelSize\": \"2.5\" is not an integer"},
    {"a list", "cluster_grid_step: [0.1]\ncluster_grid_kernelSize: 3\ncluster_grid_th: 2\n",
      "key \"cluster_grid_step\" holds no single value"},
    {"no mapping", "- 0.1\n", "the top level is not a mapping"},
    {"broken", "cluster_grid_step: {\n", "cannot be loaded: "},
  };
  for (const auto & f : failures) {
    const auto path = dir.write(std::string(f.what) + ".yaml", f.text);
    try {
      config::readCloudClusterFile(path);
      ADD_FAILURE() << f.what << ": no error";
    } catch (const config::ConfigFileError & e) {
      EXPECT_EQ(reason(e, "cluster file", path).rfind(f.reason, 0), 0u) << e.what();
    }
  }
}

TEST(ConfigFiles, DetectorSectionsByCameraNumber)
{
  config_test::TempDir dir;
  const config::ConfigFile file("dynamic cloud detector file", dir.write("detector.yaml",
    "camera_01: {history_length: 3}\ncamera_010: {history_length: 9}\n"));
  EXPECT_EQ(config::detectorSection(file, 1)["history_length"].as<int>(), 3);
  EXPECT_EQ(config::detectorSection(file, 10)["history_length"].as<int>(), 9);
  EXPECT_FALSE(config::detectorSection(file, 3).IsDefined());

  const config::ConfigFile scalar("dynamic cloud detector file", dir.write("scalar.yaml", "7\n"));
  EXPECT_THROW(config::detectorSection(scalar, 1), config::ConfigFileError);
  const config::ConfigFile empty("dynamic cloud detector file", dir.write("empty.yaml", ""));
  EXPECT_FALSE(config::detectorSection(empty, 1).IsDefined());
}

TEST(ConfigFiles, ModelNameSelectsTheRunnerExactly)
{
  config_test::TempDir dir;
  for (const std::string name : {"YOLOv8_seg", "yolov8", "[yolov8_seg]", "~"}) {
    const config::ConfigFile meta("model meta file",
      dir.write("meta.yaml", "model_name: " + name + "\nmodel_file: none.onnx\n"));
    EXPECT_EQ(config::makeSegmentationModel(meta), nullptr) << name;
  }
  const auto path = dir.write("meta.yaml", "model_name: yolov8_seg\nmodel_file: none.onnx\n");
  try {
    config::makeSegmentationModel(config::ConfigFile("model meta file", path));
    ADD_FAILURE() << "a missing network must stop the camera";
  } catch (const config::ConfigFileError & e) {
    // The network is looked for beside the meta file.
    EXPECT_NE(reason(e, "model meta file", path).find(dir.path().string() + "/none.onnx"),
      std::string::npos) << e.what();
  }
}

TEST(ConfigFiles, AiConfigLogLines)
{
  config_test::TempDir dir;
  const config::ConfigFile meta("model meta file", dir.write("meta.yaml",
    "class_mapping: {0: person, 2: bottle}\ndefault_confidence_threshold: 0.4\n"
    "confidence_threshold: {0: 0.6}\n"));
  const config::ConfigFile height("model height file",
    dir.write("height.yaml", "BOTTLE: [0.0, 0.3]\nPERSON: [0.5, 2.1]\n"));
  const auto lines = captureLog([&] {config::loadAiConfig(1, meta, height);});
  EXPECT_EQ(lines, (std::vector<std::string>{
    "[ERROR] cam_1 init AiConfig get error: ParseFile Err: key 2 is larger than map size, "
    "means the keys are not a continuous sequence.",
    "[INFO] cam_1 ai_conf_.parser label 0, type PERSON, thresh 0.6000.",
    "[INFO] cam_1 ai_conf_.parser label 1, type UNLABELED, thresh 0.4000.",
    "[INFO] cam_1 ai_conf_.parser label 2, type BOTTLE, thresh 0.4000.",
    "[INFO] cam_1 ai_conf_.map type 300, min 0.5000, max 2.1000.",
    "[INFO] cam_1 ai_conf_.map type 401, min 0.0000, max 0.3000.",
  }));
}

TEST(ConfigFiles, UnreadableFilesNameThemselves)
{
  config_test::TempDir dir;
  // A missing file, and the bare config folder that an unset file key gives.
  for (const std::string & path : {dir.path().string() + "/none.yaml", dir.path().string() + "/"}) {
    try {
      config::ConfigFile("model height file", path);
      ADD_FAILURE() << path;
    } catch (const config::ConfigFileError & e) {
      EXPECT_EQ(reason(e, "model height file", path).rfind("cannot be loaded: ", 0), 0u);
    }
  }
}

// The shipped parameters file holds every key at the value the node uses
// without it, so a copy changes nothing until edited.
TEST(ConfigShippedFiles, ParametersFileHoldsTheCodedDefaults)
{
  const auto from_file = makeNode({}, {"--ros-args", "--params-file",
      kSourceConfig + "object_detect.yaml"});
  const auto bare = makeNode();
  const auto echo = [](const rclcpp_lifecycle::LifecycleNode & node, int camera) {
      return captureLog([&] {
               config::echoFlatParameters(camera, config::readFlatParameters(node), 0.0F, true,
               0.45F);
               config::echoGroundRemovalParams(camera, config::readGroundRemovalParams(node, camera));
             });
    };
  for (int camera : {1, 2}) {
    EXPECT_EQ(echo(*from_file, camera), echo(*bare, camera)) << "camera " << camera;
  }
  const auto a = config::readFlatParameters(*from_file);
  const auto b = config::readFlatParameters(*bare);
  EXPECT_EQ(a.data_flow_trace, b.data_flow_trace);
  EXPECT_EQ(a.close_ai_detect, b.close_ai_detect);
  EXPECT_EQ(a.no_remove_ground_class_type, b.no_remove_ground_class_type);
  EXPECT_EQ(a.groud_stain_class_type, b.groud_stain_class_type);
  EXPECT_EQ(a.sample_kernel_size, b.sample_kernel_size);
  EXPECT_EQ(a.cloud.cloud_y_merge_distance, b.cloud.cloud_y_merge_distance);

  // Every key is given, also those whose value the node only takes at run time.
  rclcpp::Parameter parameter;
  for (const char * key : {"executors", "cameras", "tracker_config", "close_cam2",
      "trash_detection.close_cam1", "camera_2_camera_depth", "cam1.segmentation_bin_len",
      "cam2_.segmentation_bin_len", "ground_height_file"})
  {
    EXPECT_TRUE(from_file->get_parameter(key, parameter)) << key;
  }
  // The files it names are shipped.
  for (const char * key : {"tracker_config", "cluster_file", "dynamic_cloud_detector_config",
      "model_height_file"})
  {
    std::string name;
    ASSERT_TRUE(from_file->get_parameter(key, name)) << key;
    EXPECT_TRUE(std::filesystem::is_regular_file(kSourceConfig + name)) << key << ": " << name;
  }
}

TEST(ConfigShippedFiles, ClusterAndHeightFilesAreComplete)
{
  const auto cluster = config::readCloudClusterFile(kSourceConfig + "point_cloud_cluster.yaml");
  EXPECT_GT(cluster.grid_step, 0.025F) << "a cell spans more than one voxel";
  EXPECT_GE(cluster.grid_kernelSize, 1);

  const config::ConfigFile meta("model meta file", kSourceConfig + "colour_patch_seg_meta.yaml");
  const config::ConfigFile height("model height file", kSourceConfig + "model_height.yaml");
  std::string error;
  std::vector<std::string> lines;
  lines = captureLog([&] {
        const semantic::AiConfig ai(meta.root(), height.root(), &error);
        EXPECT_EQ(ai.class_mapping, (std::vector<int32_t>{semantic::PERSON, semantic::BOTTLE,
          semantic::ESCALATOR_ENTRANCE, semantic::PAPER_CUP, semantic::COFFEE, semantic::BASE}));
        EXPECT_EQ(ai.confidence_threshold, (std::vector<double>{0.5, 0.4, 0.6, 0.4, 0.5, 0.5}));
        for (const int trash : {semantic::BOTTLE, semantic::PAPER_CUP, semantic::MASK}) {
          EXPECT_EQ(ai.height_range.count(trash), 1u) << semantic::SemanticTypeName(trash);
        }
      });
  EXPECT_EQ(error, "");
  EXPECT_TRUE(lines.empty());
}

// The demo meta file finds the generated network at ../models/ seen from
// itself, as in the build folder and the installed share directory.
TEST(ConfigShippedFiles, DemoMetaFileBuildsTheDemoModel)
{
  const std::string model = QUORVANE_TEST_MODEL;
  if (model.empty() || !std::filesystem::exists(model)) {
    GTEST_SKIP() << "the demo network was not generated (python3 onnx missing)";
  }
  config_test::TempDir dir;
  std::filesystem::create_directories(dir.path() / "config");
  std::filesystem::create_directories(dir.path() / "models");
  std::filesystem::copy_file(kSourceConfig + "colour_patch_seg_meta.yaml",
    dir.path() / "config/colour_patch_seg_meta.yaml");
  std::filesystem::create_symlink(model, dir.path() / "models/colour_patch_seg.onnx");

  const config::ConfigFile meta("model meta file",
    (dir.path() / "config/colour_patch_seg_meta.yaml").string());
  const auto runner = config::makeSegmentationModel(meta);
  ASSERT_NE(runner, nullptr);
  EXPECT_EQ(runner->options().model_file, (dir.path() / "models/colour_patch_seg.onnx").string());
}

}  // namespace
