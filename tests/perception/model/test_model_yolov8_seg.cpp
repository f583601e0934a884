// YOLOv8Seg end to end on the generated colour-patch network, whose answer is
// known: one detection per pure-colour patch, box = patch, mask = patch, and
// nothing for neutral colours.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "colour_patch_scene.hpp"
#include "pelorin/model/yolov8_seg.hpp"

namespace pm = pelorin::model;
using model_test::Patch;

namespace {

const std::string kModel = PELORIN_TEST_MODEL;
const std::string kTransposedModel = PELORIN_TEST_MODEL_TRANSPOSED;
const std::string kPreparedExport = PELORIN_TEST_MODEL_PREPARED;

std::string constructionError(const YAML::Node& meta) {
  try {
    pm::YOLOv8Seg model(meta);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no exception";
}

class ColourPatchModel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kModel.empty()) {
      GTEST_SKIP() << "test model not generated (python3-onnx missing)";
    }
  }
};

struct SceneCase {
  std::string name;
  cv::Size size;
  std::vector<Patch> patches;
  cv::Scalar background = cv::Scalar::all(0);
};

// Patch edges sit on whole network pixels (even coordinates at scale 1/2), so
// the expected boxes are exact up to the two-pixel tolerance.
const SceneCase kScenes[] = {
    {"640x400", {640, 400}, {{0, {100, 60, 120, 80}}, {5, {400, 200, 64, 150}}}},
    {"1280x720", {1280, 720}, {{1, {200, 100, 300, 240}}, {3, {900, 400, 160, 200}}}},
    {"480x640", {480, 640}, {{2, {40, 500, 200, 100}}, {4, {300, 30, 100, 300}}}},
    {"patches at the image edges", {1280, 720}, {{0, {0, 0, 200, 120}}, {2, {1100, 560, 180, 160}}}},
};

// Each colour alone on the greys, whites and browns of floors and walls: its
// own class only (red is not also yellow or magenta), the background nothing.
const SceneCase kEachColour[] = {
    {"red on brown floor", {1280, 720}, {{0, {300, 200, 240, 160}}}, {150, 100, 50}},
    {"green on grey", {1280, 720}, {{1, {300, 200, 240, 160}}}, {128, 128, 128}},
    {"blue on white", {1280, 720}, {{2, {300, 200, 240, 160}}}, {255, 255, 255}},
    {"yellow on beige wall", {1280, 720}, {{3, {300, 200, 240, 160}}}, {240, 230, 140}},
    {"magenta on dark brown", {1280, 720}, {{4, {300, 200, 240, 160}}}, {139, 69, 19}},
    {"cyan on black", {1280, 720}, {{5, {300, 200, 240, 160}}}, {0, 0, 0}},
};

void expectDetectsPatches(pm::YOLOv8Seg& model, const SceneCase& scene) {
  SCOPED_TRACE(scene.name);
  const cv::Mat rgb = model_test::drawScene(scene.size, scene.patches, scene.background);
  std::vector<pm::ModelBoxInfo> out;
  model.Inference(rgb, out);
  ASSERT_EQ(out.size(), scene.patches.size());
  for (const Patch& p : scene.patches) {
    const pm::ModelBoxInfo* found = nullptr;
    for (const auto& d : out) {
      found = d.label == p.label ? &d : found;
    }
    ASSERT_NE(found, nullptr) << "class " << p.label;
    EXPECT_GT(found->score, 0.99F);
    EXPECT_NEAR(found->x, p.rect.x, 2.0);
    EXPECT_NEAR(found->y, p.rect.y, 2.0);
    EXPECT_NEAR(found->x + found->w, p.rect.br().x, 2.0);
    EXPECT_NEAR(found->y + found->h, p.rect.br().y, 2.0);

    ASSERT_EQ(found->mask.size(), scene.size);
    ASSERT_EQ(found->mask.type(), CV_8UC1);
    const double inside = cv::countNonZero(found->mask(p.rect));
    const double total = cv::countNonZero(found->mask);
    EXPECT_GT(inside, 0.97 * p.rect.area());
    EXPECT_LT(total - inside, 0.03 * p.rect.area());
  }
}

}  // namespace

TEST_F(ColourPatchModel, FindsEachPatchInItsOwnImageCoordinates) {
  pm::YOLOv8Seg model(model_test::colourPatchMeta(kModel));
  for (const auto& scene : kScenes) {
    expectDetectsPatches(model, scene);
  }
}

TEST_F(ColourPatchModel, EachColourIsItsOwnClassAndNeutralColoursAreNone) {
  pm::YOLOv8Seg model(model_test::colourPatchMeta(kModel));
  for (const auto& scene : kEachColour) {
    expectDetectsPatches(model, scene);
  }
}

TEST_F(ColourPatchModel, TransposedHeadAndPreparedExportGiveTheSameAnswer) {
  for (const std::string& file : {kTransposedModel, kPreparedExport}) {
    SCOPED_TRACE(file);
    pm::YOLOv8Seg model(model_test::colourPatchMeta(file));
    expectDetectsPatches(model, kScenes[1]);
  }
}

TEST_F(ColourPatchModel, ImagesWithoutPatchesOrOfWrongTypeGiveNothing) {
  pm::YOLOv8Seg model(model_test::colourPatchMeta(kModel));
  const pm::ModelBoxInfo earlier{1, 2, 3, 4, 5, 0.5F, cv::Mat()};
  const cv::Mat scene = model_test::drawScene({640, 400}, {{0, {10, 10, 50, 50}}});
  cv::Mat as_float;
  scene.convertTo(as_float, CV_32FC3);
  const cv::Mat inputs[] = {
      cv::Mat(),
      model_test::drawScene({640, 400}, {}),
      cv::Mat(400, 640, CV_8UC1, cv::Scalar(255)),
      as_float,
      cv::Mat(400, 640, CV_8UC4, cv::Scalar(255, 0, 0, 255)),
  };
  for (const cv::Mat& input : inputs) {
    std::vector<pm::ModelBoxInfo> out = {earlier};
    model.Inference(input, out);
    ASSERT_EQ(out.size(), 1U) << "type " << input.type() << " size " << input.size;
    EXPECT_FLOAT_EQ(out[0].score, 0.5F);  // what the caller had is kept
  }
}

TEST_F(ColourPatchModel, StagesExposeTheLetterboxedBlobAndTheRawOutputs) {
  pm::YOLOv8Seg model(model_test::colourPatchMeta(kModel));
  const auto prepared = model.preprocess(model_test::drawScene({1280, 720}, {}));
  ASSERT_EQ(prepared.blob.dims, 4);
  EXPECT_EQ(prepared.blob.size[2], 640);
  EXPECT_EQ(prepared.blob.size[3], 640);
  EXPECT_EQ(prepared.geometry.pad, cv::Point(0, 140));
  EXPECT_NEAR(prepared.blob.ptr<float>(0, 0)[0], 114.0 / 255.0, 1e-6);  // padding
  EXPECT_EQ(prepared.blob.ptr<float>(0, 0)[140 * 640], 0.0F);         // black image

  const auto outputs = model.forward(prepared.blob);
  EXPECT_EQ(pm::shapeText(outputs.head), "[1x42x6400]");
  EXPECT_EQ(pm::shapeText(outputs.prototypes), "[1x32x160x160]");
  EXPECT_TRUE(model.postprocess(outputs, prepared.geometry).empty());
}

TEST_F(ColourPatchModel, ConcurrentCallsOnOneModelGiveTheSameAnswer) {
  pm::YOLOv8Seg model(model_test::colourPatchMeta(kModel));
  const SceneCase& scene = kScenes[0];
  const cv::Mat rgb = model_test::drawScene(scene.size, scene.patches);
  std::vector<std::vector<pm::ModelBoxInfo>> results(4);
  std::vector<std::thread> threads;
  for (auto& result : results) {
    threads.emplace_back([&model, &rgb, &result] {
      for (int i = 0; i < 5; ++i) {
        result.clear();
        model.Inference(rgb, result);
      }
    });
  }
  for (auto& t : threads) {
    t.join();
  }
  for (const auto& result : results) {
    ASSERT_EQ(result.size(), 2U);
    for (size_t i = 0; i < result.size(); ++i) {
      EXPECT_EQ(result[i].label, results[0][i].label);
      EXPECT_FLOAT_EQ(result[i].x, results[0][i].x);
      EXPECT_EQ(cv::norm(result[i].mask, results[0][i].mask, cv::NORM_L1), 0.0);
    }
  }
}

TEST_F(ColourPatchModel, ThreadCountIsLeftAloneUnlessConfigured) {
  const int before = cv::getNumThreads();
  { pm::YOLOv8Seg untouched(model_test::colourPatchMeta(kModel)); }
  EXPECT_EQ(cv::getNumThreads(), before);
  YAML::Node meta = model_test::colourPatchMeta(kModel);
  meta["num_threads"] = 2;
  { pm::YOLOv8Seg limited(meta); }
  EXPECT_EQ(cv::getNumThreads(), 2);
  cv::setNumThreads(before);
}

TEST_F(ColourPatchModel, RelativeModelFileIsFoundNextToTheMetaFile) {
  const std::filesystem::path model(kModel);
  YAML::Node meta = model_test::colourPatchMeta(model.filename().string());
  meta[pm::kMetaFileDirKey] = model.parent_path().string();
  EXPECT_EQ(pm::YOLOv8Seg(meta).options().model_file, kModel);
}

TEST_F(ColourPatchModel, ConfigurationErrorsRaiseNamingTheFileKeyOrShapes) {
  const auto tmp = std::filesystem::path(QUORVANE_BINARY_DIR) / "models" / "not_a_network.onnx";
  std::ofstream(tmp) << "this is not protobuf";
  const auto meta_with = [](const std::string& key, const YAML::Node& value) {
    YAML::Node meta = model_test::colourPatchMeta(kModel);
    meta[key] = value;
    return meta;
  };
  struct Case {
    std::string name;
    YAML::Node meta;
    std::vector<std::string> expected_parts;
  };
  YAML::Node no_file = model_test::colourPatchMeta(kModel);
  no_file.remove("model_file");
  const Case cases[] = {
      {"missing file", meta_with("model_file", YAML::Node("/nonexistent/net.onnx")),
       {"/nonexistent/net.onnx", "does not exist"}},
      {"not a network", meta_with("model_file", YAML::Node(tmp.string())),
       {tmp.string(), "cannot read"}},
      {"no model_file key", no_file, {"model_file", "missing"}},
      {"class count differs", meta_with("num_classes", YAML::Node(80)),
       {kModel, "[1x42x6400]", "[1x32x160x160]", "80 classes"}},
      {"input size the network rejects", meta_with("input_width", YAML::Node(320)),
       {kModel, "320x640"}},
      {"threshold out of range", meta_with("nms_threshold", YAML::Node(1.5)),
       {"nms_threshold", "1.5"}},
      {"threshold not a number", meta_with("score_threshold", YAML::Node("high")),
       {"score_threshold"}},
      {"negative input", meta_with("input_height", YAML::Node(-640)), {"input_height"}},
  };
  for (const Case& c : cases) {
    const std::string text = constructionError(c.meta);
    for (const std::string& part : c.expected_parts) {
      EXPECT_NE(text.find(part), std::string::npos) << c.name << ": " << text;
    }
  }
}
