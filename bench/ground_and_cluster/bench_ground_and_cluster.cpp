// Ground removal and clustering of one depth frame: our line fit with grid
// clustering next to a RANSAC plane with Euclidean clustering, on the same
// synthetic clouds (640 x 400 depth at pixel stride 2, 2.5 cm voxels).
// Counters report the share of floor points judged ground and of the points
// of objects taller than 3 cm judged obstacle.
#include <benchmark/benchmark.h>

#include <pcl/ModelCoefficients.h>
#include <pcl/search/kdtree.h>
#include <pcl/segmentation/extract_clusters.h>
#include <pcl/segmentation/sac_segmentation.h>

#include "ground_settings.hpp"
#include "pelorin/perception/cloud_cluster.hpp"
#include "pelorin/perception/remove_ground_line_fit.hpp"
#include "scene/ground_truth.hpp"
#include "scene/stock_rooms.hpp"

namespace {

using pelorin::perception::RemoveGroundLineFit;
using Cloud = pcl::PointCloud<pcl::PointXYZ>;
using scene::Verdict;

constexpr float kLeaf = 0.025f;
constexpr float kTallerThan = 0.03f;
constexpr uint32_t kFrames = 8;
constexpr float kPlaneDistance = 0.02f;
constexpr float kClusterTolerance = 0.05f;

struct Frames {
  scene::Room room;
  std::vector<scene::LabelledCloud> clouds;
};

Frames renderFrames(scene::Room room, uint32_t first_seed) {
  Frames f{std::move(room), {}};
  for (uint32_t i = 0; i < kFrames; ++i) {
    const scene::Camera camera = ground_test::groundCamera(0.35f, 0.45f, first_seed + i);
    f.clouds.push_back(scene::baseFrameCloud(scene::render(f.room, camera), camera, 2, kLeaf));
  }
  return f;
}

const Frames& frames(bool ramp) {
  static const Frames room = renderFrames(scene::clutteredRoom(), 100);
  static const Frames ramped = renderFrames(scene::rampAhead(), 200);
  return ramp ? ramped : room;
}

void report(benchmark::State& state, const Frames& f, const std::vector<std::vector<Verdict>>& verdicts,
            float ceiling, std::size_t clusters) {
  double floor = 0.0, objects = 0.0, points = 0.0;
  for (std::size_t i = 0; i < f.clouds.size(); ++i) {
    const auto scores = scene::scoreSurfaces(f.clouds[i], verdicts[i], ceiling);
    const scene::SceneAccuracy a = scene::sceneAccuracy(f.room, scores, kTallerThan);
    floor += a.floor_as_ground;
    objects += a.objects_as_obstacle;
    points += static_cast<double>(f.clouds[i].cloud.size());
  }
  const double n = static_cast<double>(f.clouds.size());
  state.counters["floor_as_ground"] = floor / n;
  state.counters["objects_as_obstacle"] = objects / n;
  state.counters["points"] = points / n;
  state.counters["clusters"] = static_cast<double>(clusters) / n;
}

void LineFitAndGridCluster(benchmark::State& state) {
  const Frames& f = frames(state.range(0) != 0);
  const auto params = ground_test::groundParamsFor(ground_test::groundCamera());
  RemoveGroundLineFit fitter(params);
  pelorin::perception::CloudCluster clustering(pelorin::perception::CloudClusterPara{0.05f, 3, 2});
  Cloud::Ptr base(new Cloud), obstacle(new Cloud), ground(new Cloud);
  std::vector<Cloud> clusters;
  std::size_t frame = 0;
  for (auto _ : state) {
    *base = f.clouds[frame++ % f.clouds.size()].cloud;
    fitter.PreprocessCloud(base);
    fitter.RemoveGround(base, obstacle, ground);
    int count = 0;
    clustering.obstacleCluster(obstacle, count, clusters);
    benchmark::DoNotOptimize(clusters.data());
  }
  std::vector<std::vector<Verdict>> verdicts;
  std::size_t cluster_total = 0;
  for (const scene::LabelledCloud& c : f.clouds) {
    std::vector<RemoveGroundLineFit::PointClass> classes;
    fitter.Classify(c.cloud, classes);
    std::vector<Verdict> v;
    for (const auto k : classes) {
      v.push_back(k == RemoveGroundLineFit::PointClass::kGround     ? Verdict::kGround
                  : k == RemoveGroundLineFit::PointClass::kObstacle ? Verdict::kObstacle
                                                                    : Verdict::kNeither);
    }
    verdicts.push_back(std::move(v));
    *base = c.cloud;
    fitter.RemoveGround(base, obstacle, ground);
    int count = 0;
    clustering.obstacleCluster(obstacle, count, clusters);
    cluster_total += clusters.size();
  }
  report(state, f, verdicts, params.max_obstacle_height, cluster_total);
}

// Ground = inliers of the best plane; obstacle = up to the obstacle ceiling
// above it; then Euclidean clusters of the obstacle points.
std::vector<Verdict> planeAndClusters(const Cloud::Ptr& cloud, float ceiling,
                                      pcl::SACSegmentation<pcl::PointXYZ>& ransac,
                                      pcl::EuclideanClusterExtraction<pcl::PointXYZ>& euclid,
                                      std::vector<pcl::PointIndices>& clusters) {
  pcl::PointIndices inliers;
  pcl::ModelCoefficients plane;
  ransac.setInputCloud(cloud);
  ransac.segment(inliers, plane);
  std::vector<Verdict> verdicts(cloud->size(), Verdict::kNeither);
  Eigen::Vector4f coefficients(0.0f, 0.0f, 1.0f, 0.0f);
  if (plane.values.size() == 4) {
    coefficients = Eigen::Vector4f(plane.values[0], plane.values[1], plane.values[2], plane.values[3]);
    if (coefficients[2] < 0.0f) coefficients = -coefficients;
  }
  for (const int i : inliers.indices) verdicts[static_cast<std::size_t>(i)] = Verdict::kGround;
  pcl::IndicesPtr obstacle(new pcl::Indices);
  for (std::size_t i = 0; i < cloud->size(); ++i) {
    const pcl::PointXYZ& p = cloud->points[i];
    const float h = coefficients.dot(Eigen::Vector4f(p.x, p.y, p.z, 1.0f));
    if (verdicts[i] != Verdict::kGround && h > kPlaneDistance && h <= ceiling) {
      verdicts[i] = Verdict::kObstacle;
      obstacle->push_back(static_cast<int>(i));
    }
  }
  euclid.setInputCloud(cloud);
  euclid.setIndices(obstacle);
  clusters.clear();  // extract appends
  euclid.extract(clusters);
  return verdicts;
}

void RansacPlaneAndEuclideanCluster(benchmark::State& state) {
  const Frames& f = frames(state.range(0) != 0);
  const float ceiling = ground_test::groundParamsFor(ground_test::groundCamera()).max_obstacle_height;
  pcl::SACSegmentation<pcl::PointXYZ> ransac;
  ransac.setOptimizeCoefficients(true);
  ransac.setModelType(pcl::SACMODEL_PLANE);
  ransac.setMethodType(pcl::SAC_RANSAC);
  ransac.setDistanceThreshold(kPlaneDistance);
  ransac.setMaxIterations(200);
  pcl::EuclideanClusterExtraction<pcl::PointXYZ> euclid;
  euclid.setClusterTolerance(kClusterTolerance);
  euclid.setMinClusterSize(5);
  euclid.setSearchMethod(pcl::search::KdTree<pcl::PointXYZ>::Ptr(new pcl::search::KdTree<pcl::PointXYZ>));
  Cloud::Ptr cloud(new Cloud);
  std::vector<pcl::PointIndices> clusters;
  std::size_t frame = 0;
  for (auto _ : state) {
    *cloud = f.clouds[frame++ % f.clouds.size()].cloud;
    benchmark::DoNotOptimize(planeAndClusters(cloud, ceiling, ransac, euclid, clusters).data());
  }
  std::vector<std::vector<Verdict>> verdicts;
  std::size_t cluster_total = 0;
  for (const scene::LabelledCloud& c : f.clouds) {
    *cloud = c.cloud;
    verdicts.push_back(planeAndClusters(cloud, ceiling, ransac, euclid, clusters));
    cluster_total += clusters.size();
  }
  report(state, f, verdicts, ceiling, cluster_total);
}

// Argument: 0 the cluttered room, 1 the ramp.
BENCHMARK(LineFitAndGridCluster)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(RansacPlaneAndEuclideanCluster)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
