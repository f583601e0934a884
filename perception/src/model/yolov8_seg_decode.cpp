#include "pelorin/model/yolov8_seg_decode.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace pelorin::model {

namespace {

constexpr int kBoxValues = 4;

struct Candidate {
  cv::Rect2d box;  // input pixels
  int label = 0;
  float score = 0.0F;
  int anchor = 0;
};

// Reads one anchor's value whichever way round the head is stored.
class HeadView {
 public:
  HeadView(const cv::Mat& head, const HeadLayout& layout)
      : data_(head.ptr<float>()),
        channels_(kBoxValues + layout.num_classes + layout.num_coeffs),
        anchors_(layout.num_anchors),
        anchors_first_(layout.anchors_first) {}

  bool anchorsFirst() const { return anchors_first_; }

  float at(int channel, int anchor) const {
    return anchors_first_ ? data_[static_cast<size_t>(anchor) * channels_ + channel]
                          : data_[static_cast<size_t>(channel) * anchors_ + anchor];
  }

 private:
  const float* data_;
  size_t channels_;
  size_t anchors_;
  bool anchors_first_;
};

// Best class per anchor, visiting the head in memory order (class rows are
// contiguous in the channels-first layout, anchor rows in the other).
void bestClasses(const HeadView& view, const HeadLayout& layout, std::vector<float>& best_score,
                 std::vector<int>& best_label) {
  best_score.assign(layout.num_anchors, -std::numeric_limits<float>::infinity());
  best_label.assign(layout.num_anchors, 0);
  const auto visit = [&](int c, int a) {
    const float s = view.at(kBoxValues + c, a);
    if (s > best_score[a]) {
      best_score[a] = s;
      best_label[a] = c;
    }
  };
  if (view.anchorsFirst()) {
    for (int a = 0; a < layout.num_anchors; ++a) {
      for (int c = 0; c < layout.num_classes; ++c) {
        visit(c, a);
      }
    }
  } else {
    for (int c = 0; c < layout.num_classes; ++c) {
      for (int a = 0; a < layout.num_anchors; ++a) {
        visit(c, a);
      }
    }
  }
}

std::vector<Candidate> collectCandidates(const HeadView& view, const HeadLayout& layout,
                                         float score_threshold) {
  std::vector<float> best_score;
  std::vector<int> best_label;
  bestClasses(view, layout, best_score, best_label);
  std::vector<Candidate> candidates;
  for (int a = 0; a < layout.num_anchors; ++a) {
    // Written so that a NaN score fails the test.
    if (!(best_score[a] >= score_threshold)) {
      continue;
    }
    const float cx = view.at(0, a);
    const float cy = view.at(1, a);
    const float w = view.at(2, a);
    const float h = view.at(3, a);
    if (!std::isfinite(cx) || !std::isfinite(cy) || !(w > 0.0F) || !(h > 0.0F) ||
        !std::isfinite(w) || !std::isfinite(h)) {
      continue;
    }
    candidates.push_back(
        {cv::Rect2d(cx - w / 2.0, cy - h / 2.0, w, h), best_label[a], best_score[a], a});
  }
  return candidates;
}

// NMS within each class; returns the survivors best first.
std::vector<Candidate> suppressPerClass(const std::vector<Candidate>& candidates,
                                        const DecodeParams& params) {
  std::map<int, std::vector<int>> by_label;
  for (int i = 0; i < static_cast<int>(candidates.size()); ++i) {
    by_label[candidates[i].label].push_back(i);
  }
  std::vector<Candidate> kept;
  std::vector<cv::Rect2d> boxes;
  std::vector<float> scores;
  std::vector<int> survivors;
  for (const auto& [label, members] : by_label) {
    boxes.clear();
    scores.clear();
    for (int i : members) {
      boxes.push_back(candidates[i].box);
      scores.push_back(candidates[i].score);
    }
    cv::dnn::NMSBoxes(boxes, scores, params.score_threshold, params.nms_threshold, survivors);
    for (int s : survivors) {
      kept.push_back(candidates[members[s]]);
    }
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
  const auto limit = static_cast<size_t>(std::max(params.max_detections, 0));
  if (kept.size() > limit) {
    kept.resize(limit);
  }
  return kept;
}

// Box from input pixels to image pixels, clipped to the image.
cv::Rect2f toImage(const cv::Rect2d& box, const LetterboxGeometry& g) {
  const auto clipX = [&](double v) {
    return static_cast<float>(std::clamp((v - g.pad.x) / g.scale.x, 0.0, double(g.image.width)));
  };
  const auto clipY = [&](double v) {
    return static_cast<float>(std::clamp((v - g.pad.y) / g.scale.y, 0.0, double(g.image.height)));
  };
  const float x1 = clipX(box.x);
  const float y1 = clipY(box.y);
  return {x1, y1, clipX(box.x + box.width) - x1, clipY(box.y + box.height) - y1};
}

// Mask of one detection: coefficients times prototypes gives logits at
// prototype resolution, computed only around the box; they are resampled
// (bilinear, pixel centres) straight into the box region of the image and
// compared with the threshold's logit, which equals thresholding the sigmoid.
cv::Mat instanceMask(const std::vector<float>& coeffs, const std::vector<cv::Mat>& prototypes,
                     const cv::Rect2f& box, const LetterboxGeometry& g, float logit_threshold) {
  cv::Mat mask = cv::Mat::zeros(g.image, CV_8UC1);
  const cv::Rect roi =
      cv::Rect(cv::Point(static_cast<int>(std::floor(box.x)), static_cast<int>(std::floor(box.y))),
               cv::Point(static_cast<int>(std::ceil(box.x + box.width)),
                         static_cast<int>(std::ceil(box.y + box.height)))) &
      cv::Rect(cv::Point(0, 0), g.image);
  if (roi.empty()) {
    return mask;
  }
  // image pixel centre (u + 0.5) -> input pixel -> prototype pixel centre
  const cv::Size proto_size = prototypes.front().size();
  const double cells_per_input_x = static_cast<double>(proto_size.width) / g.input.width;
  const double cells_per_input_y = static_cast<double>(proto_size.height) / g.input.height;
  const double ax = g.scale.x * cells_per_input_x;
  const double ay = g.scale.y * cells_per_input_y;
  const double bx = ((roi.x + 0.5) * g.scale.x + g.pad.x) * cells_per_input_x - 0.5;
  const double by = ((roi.y + 0.5) * g.scale.y + g.pad.y) * cells_per_input_y - 0.5;

  // Prototype cells the resampling reads, with one cell of margin.
  const cv::Rect cells =
      cv::Rect(cv::Point(static_cast<int>(std::floor(bx)) - 1, static_cast<int>(std::floor(by)) - 1),
               cv::Point(static_cast<int>(std::ceil(bx + ax * roi.width)) + 2,
                         static_cast<int>(std::ceil(by + ay * roi.height)) + 2)) &
      cv::Rect(cv::Point(0, 0), proto_size);
  if (cells.empty()) {
    return mask;
  }
  cv::Mat logits = cv::Mat::zeros(cells.size(), CV_32F);
  for (size_t k = 0; k < coeffs.size(); ++k) {
    cv::scaleAdd(prototypes[k](cells), coeffs[k], logits, logits);
  }
  const cv::Matx23d to_cells(ax, 0.0, bx - cells.x, 0.0, ay, by - cells.y);
  cv::Mat region_logits;
  cv::warpAffine(logits, region_logits, to_cells, roi.size(),
                 cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
  cv::Mat region = mask(roi);
  cv::compare(region_logits, logit_threshold, region, cv::CMP_GT);
  return mask;
}

}  // namespace

std::string shapeText(const cv::Mat& tensor) {
  std::ostringstream text;
  text << '[';
  for (int i = 0; i < tensor.dims; ++i) {
    text << (i ? "x" : "") << tensor.size[i];
  }
  text << ']';
  return text.str();
}

HeadLayout resolveHeadLayout(const cv::Mat& head, const cv::Mat& prototypes, int num_classes) {
  const auto fail = [&](const std::string& why) {
    throw std::runtime_error("YOLOv8-seg outputs " + shapeText(head) + " and " +
                             shapeText(prototypes) + ": " + why);
  };
  if (head.type() != CV_32F || prototypes.type() != CV_32F) {
    fail("expected float tensors");
  }
  if (prototypes.dims != 4 || prototypes.size[0] != 1 || prototypes.size[1] <= 0 ||
      prototypes.size[2] <= 0 || prototypes.size[3] <= 0) {
    fail("mask prototypes must be [1, coeffs, H, W]");
  }
  if (head.dims != 3 || head.size[0] != 1) {
    fail("detection head must be [1, 4 + classes + coeffs, anchors] or its transpose");
  }
  HeadLayout layout;
  layout.num_coeffs = prototypes.size[1];
  const int fixed = kBoxValues + layout.num_coeffs;
  const int rows = head.size[1];
  const int cols = head.size[2];
  const auto fits = [&](int channels) {
    return num_classes > 0 ? channels == fixed + num_classes : channels > fixed;
  };
  // When both axes could hold the channels (no class count configured), the
  // shorter one does: exports have far more anchors than channels.
  if (fits(rows) && (!fits(cols) || rows <= cols)) {
    layout.num_anchors = cols;
    layout.num_classes = rows - fixed;
  } else if (fits(cols)) {
    layout.anchors_first = true;
    layout.num_anchors = rows;
    layout.num_classes = cols - fixed;
  } else {
    fail(num_classes > 0 ? "no axis holds 4 + " + std::to_string(num_classes) + " classes + " +
                               std::to_string(layout.num_coeffs) + " coefficients"
                         : "no axis holds 4 + classes + " + std::to_string(layout.num_coeffs) +
                               " coefficients");
  }
  if (layout.num_anchors <= 0) {
    fail("no anchors");
  }
  return layout;
}

std::vector<ModelBoxInfo> decodeYolov8Seg(const cv::Mat& head, const cv::Mat& prototypes,
                                          const LetterboxGeometry& geometry,
                                          const DecodeParams& params) {
  const HeadLayout layout = resolveHeadLayout(head, prototypes, params.num_classes);
  const cv::Mat head_data = head.isContinuous() ? head : head.clone();
  const HeadView view(head_data, layout);
  const std::vector<Candidate> kept =
      suppressPerClass(collectCandidates(view, layout, params.score_threshold), params);

  // One [H, W] view per prototype.
  const cv::Mat proto_data = prototypes.isContinuous() ? prototypes : prototypes.clone();
  std::vector<cv::Mat> planes;
  for (int k = 0; k < layout.num_coeffs; ++k) {
    planes.emplace_back(prototypes.size[2], prototypes.size[3], CV_32F,
                        const_cast<float*>(proto_data.ptr<float>(0, k)));
  }
  const double t = std::clamp(static_cast<double>(params.mask_threshold), 1e-6, 1.0 - 1e-6);
  const auto logit_threshold = static_cast<float>(std::log(t / (1.0 - t)));

  std::vector<ModelBoxInfo> detections;
  detections.reserve(kept.size());
  std::vector<float> coeffs(layout.num_coeffs);
  for (const Candidate& c : kept) {
    const cv::Rect2f box = toImage(c.box, geometry);
    if (!(box.width > 0.0F) || !(box.height > 0.0F)) {
      continue;  // wholly in the padding
    }
    for (int k = 0; k < layout.num_coeffs; ++k) {
      coeffs[k] = view.at(kBoxValues + layout.num_classes + k, c.anchor);
    }
    ModelBoxInfo info;
    info.x = box.x;
    info.y = box.y;
    info.w = box.width;
    info.h = box.height;
    info.label = c.label;
    info.score = c.score;
    info.mask = instanceMask(coeffs, planes, box, geometry, logit_threshold);
    detections.push_back(std::move(info));
  }
  return detections;
}

}  // namespace pelorin::model
