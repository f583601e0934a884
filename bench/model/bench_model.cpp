// YOLOv8Seg on a 640 x 400 "rgb8" frame, split into its three stages, for the
// colour-patch test network and for YOLOv8n-seg with random weights at 640 x 640
// and 320 x 320 input.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "pelorin/model/yolov8_seg.hpp"

namespace pm = pelorin::model;

namespace {

enum class Net { kColourPatch, kYolov8n, kYolov8n320 };

struct Fixture {
  std::unique_ptr<pm::YOLOv8Seg> model;
  cv::Mat rgb;
  std::string error;
};

// Built once per network: loading YOLOv8n takes longer than a run.
Fixture& fixture(Net net) {
  static Fixture fixtures[3];
  Fixture& f = fixtures[static_cast<int>(net)];
  if (f.model || !f.error.empty()) {
    return f;
  }
  const std::string files[] = {PELORIN_TEST_MODEL, PELORIN_YOLOV8N_MODEL, PELORIN_YOLOV8N_320_MODEL};
  const std::string& file = files[static_cast<int>(net)];
  if (file.empty()) {
    f.error = "model not generated (python3-onnx / python3-torch missing)";
    return f;
  }
  YAML::Node meta;
  meta["model_file"] = file;
  const int side = net == Net::kYolov8n320 ? 320 : 640;
  meta["input_width"] = side;
  meta["input_height"] = side;
  // One thread: a camera's frames are budgeted as a share of one core.
  meta["num_threads"] = 1;
  f.model = std::make_unique<pm::YOLOv8Seg>(meta);
  f.rgb = cv::Mat(400, 640, CV_8UC3, cv::Scalar::all(0));
  if (net == Net::kColourPatch) {
    f.rgb(cv::Rect(100, 60, 120, 80)).setTo(cv::Scalar(255, 0, 0));
    f.rgb(cv::Rect(400, 200, 64, 150)).setTo(cv::Scalar(0, 0, 255));
  } else {
    cv::randu(f.rgb, cv::Scalar::all(0), cv::Scalar::all(256));
  }
  return f;
}

template <Net N>
void BM_Preprocess(benchmark::State& state) {
  Fixture& f = fixture(N);
  if (!f.model) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.model->preprocess(f.rgb));
  }
}

template <Net N>
void BM_Forward(benchmark::State& state) {
  Fixture& f = fixture(N);
  if (!f.model) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  const auto prepared = f.model->preprocess(f.rgb);
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.model->forward(prepared.blob));
  }
}

template <Net N>
void BM_Postprocess(benchmark::State& state) {
  Fixture& f = fixture(N);
  if (!f.model) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  const auto prepared = f.model->preprocess(f.rgb);
  const auto outputs = f.model->forward(prepared.blob);
  size_t detections = 0;
  for (auto _ : state) {
    const auto out = f.model->postprocess(outputs, prepared.geometry);
    detections = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["detections"] = static_cast<double>(detections);
}

template <Net N>
void BM_Inference(benchmark::State& state) {
  Fixture& f = fixture(N);
  if (!f.model) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  std::vector<pm::ModelBoxInfo> out;
  for (auto _ : state) {
    out.clear();
    f.model->Inference(f.rgb, out);
    benchmark::DoNotOptimize(out.data());
  }
}

}  // namespace

BENCHMARK_TEMPLATE(BM_Preprocess, Net::kColourPatch)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Forward, Net::kColourPatch)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Postprocess, Net::kColourPatch)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Inference, Net::kColourPatch)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Preprocess, Net::kYolov8n)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Forward, Net::kYolov8n)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Postprocess, Net::kYolov8n)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Inference, Net::kYolov8n)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Preprocess, Net::kYolov8n320)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Forward, Net::kYolov8n320)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Postprocess, Net::kYolov8n320)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Inference, Net::kYolov8n320)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
