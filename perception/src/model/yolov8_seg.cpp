#include "pelorin/model/yolov8_seg.hpp"

#include <filesystem>
#include <stdexcept>

#include "pelorin/model/yolov8_seg_decode.hpp"

namespace pelorin::model {

namespace {

cv::dnn::Net loadNetwork(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    throw std::runtime_error("YOLOv8Seg: model file \"" + file + "\" does not exist");
  }
  cv::dnn::Net net;
  try {
    net = cv::dnn::readNetFromONNX(file);
  } catch (const cv::Exception& e) {
    throw std::runtime_error("YOLOv8Seg: cannot read model file \"" + file + "\": " + e.what());
  }
  if (net.empty()) {
    throw std::runtime_error("YOLOv8Seg: model file \"" + file + "\" holds no network");
  }
  net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
  net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
  return net;
}

}  // namespace

YOLOv8Seg::YOLOv8Seg(const YAML::Node& meta)
    : options_(YOLOv8SegOptions::fromMeta(meta)), net_(loadNetwork(options_.model_file)) {
  if (options_.num_threads > 0) {
    cv::setNumThreads(options_.num_threads);  // process-wide, see YOLOv8SegOptions
  }
  output_names_ = net_.getUnconnectedOutLayersNames();

  // One run on a blank input checks the outputs now instead of on the first frame.
  const cv::Size input = options_.input_size;
  const cv::Mat blank(input, CV_8UC3, cv::Scalar::all(0));
  try {
    const PreparedInput prepared = preprocess(blank);
    postprocess(forward(prepared.blob), prepared.geometry);
  } catch (const std::exception& e) {
    throw std::runtime_error("YOLOv8Seg: model file \"" + options_.model_file + "\" with input " +
                             std::to_string(input.width) + "x" + std::to_string(input.height) +
                             ": " + e.what());
  }
}

YOLOv8Seg::~YOLOv8Seg() = default;

void YOLOv8Seg::Inference(const cv::Mat& rgb, std::vector<ModelBoxInfo>& out) {
  if (rgb.empty() || rgb.type() != CV_8UC3) {
    return;
  }
  const PreparedInput prepared = preprocess(rgb);
  std::vector<ModelBoxInfo> detections = postprocess(forward(prepared.blob), prepared.geometry);
  out.insert(out.end(), std::make_move_iterator(detections.begin()),
             std::make_move_iterator(detections.end()));
}

YOLOv8Seg::PreparedInput YOLOv8Seg::preprocess(const cv::Mat& rgb) const {
  PreparedInput prepared;
  prepared.geometry = makeLetterboxGeometry(rgb.size(), options_.input_size);
  cv::Mat canvas;
  letterboxImage(rgb, prepared.geometry, canvas);
  // Planar float blob written in place, plane by plane: several times faster
  // than blobFromImage. The image is RGB already, as the network was trained.
  const cv::Size input = options_.input_size;
  const int sizes[] = {1, 3, input.height, input.width};
  prepared.blob.create(4, sizes, CV_32F);
  std::vector<cv::Mat> channels;
  cv::split(canvas, channels);
  for (int c = 0; c < 3; ++c) {
    cv::Mat plane(input, CV_32F, prepared.blob.ptr<float>(0, c));
    channels[c].convertTo(plane, CV_32F, 1.0 / 255.0);
  }
  return prepared;
}

YOLOv8Seg::NetworkOutputs YOLOv8Seg::forward(const cv::Mat& blob) {
  std::vector<cv::Mat> raw;
  {
    std::lock_guard<std::mutex> lock(net_mutex_);
    net_.setInput(blob);
    net_.forward(raw, output_names_);
  }

  // Told apart by rank, not by name: exporters name the outputs differently.
  std::vector<const cv::Mat*> heads;
  std::vector<const cv::Mat*> prototypes;
  std::string shapes;
  for (const cv::Mat& m : raw) {
    shapes += (shapes.empty() ? "" : ", ") + shapeText(m);
    (m.dims == 4 ? prototypes : heads).push_back(&m);
  }
  if (heads.size() != 1 || prototypes.size() != 1) {
    throw std::runtime_error(
        "expected two outputs, detection head (3-D) and mask prototypes (4-D), got " +
        std::to_string(raw.size()) + ": " + shapes);
  }
  // Copies: OpenCV releases differ in whether these share the network's
  // buffers, which the next forward may overwrite once the lock is released.
  NetworkOutputs outputs;
  outputs.head = heads.front()->clone();
  outputs.prototypes = prototypes.front()->clone();
  return outputs;
}

std::vector<ModelBoxInfo> YOLOv8Seg::postprocess(const NetworkOutputs& outputs,
                                                 const LetterboxGeometry& geometry) const {
  return decodeYolov8Seg(outputs.head, outputs.prototypes, geometry, options_.decode);
}

}  // namespace pelorin::model
