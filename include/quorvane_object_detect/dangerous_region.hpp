#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include <Eigen/Core>
#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "quorvane_object_detect/logger.hpp"

// Escalator dangerous region: the pieces of the escalator stage and of its
// region worker that need no camera.

// Most points the escalator history keeps.  At the 2.5 cm grid that is
// 12.5 m^2 of entrance floor, and the worker inflates at most 100 000 points
// per region and frame however long the robot works beside an escalator.
constexpr std::size_t kDangerousHistoryMaxPoints = 20000;

// Whether camera `camera_id` keeps an escalator history: cameras 1 and 2, or
// camera 2 alone.
bool runsDangerousRegion(int camera_id, bool use_two_cameras);

// Records one stage run in the detection window of `window` runs.  True when
// this run completes a window without any detection: the history must go.
// Windows do not overlap; one of no runs never completes, so it keeps no entries.
bool windowWithoutDetection(std::vector<bool> & status, bool detected, int window);

// Bounds a history whose points come newest first: keeps the first point of
// every `leaf`-sized cell of a grid fixed to the cloud's frame, then at most
// `max_points` of them, so the oldest go first.  Points with a non-finite
// coordinate go too.  Height 1, width = size, dense.
void boundHistory(
  pcl::PointCloud<pcl::PointXYZ> & cloud, const Eigen::Vector3f & leaf, std::size_t max_points);

// Inflates `in` into `out`: per point, in order, the point itself and its four
// neighbours at +-d in x and in y.  `out` keeps its header.
void dilateCloud(
  const std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & in,
  std::shared_ptr<pcl::PointCloud<pcl::PointXYZ>> & out, float d);

// Where the escalator stage and its region worker meet.  `idle` true: the
// worker waits for a frame; it holds `mutex` while it works on one.
struct RegionHandOver
{
  std::mutex & mutex;
  std::condition_variable & cv;
  std::atomic<bool> & idle;
  const std::atomic<bool> & stop;
};

// Runs `fill` and wakes the worker only when the worker is idle and the lock
// is free at this instant: the depth callback never waits for the worker.
// False: the frame is not handed over.
template<typename Fill>
bool tryHandOver(const RegionHandOver & hand_over, Fill && fill)
{
  std::unique_lock<std::mutex> lock(hand_over.mutex, std::try_to_lock);
  if (!lock.owns_lock() || !hand_over.idle.load()) {
    return false;
  }
  fill();
  hand_over.idle.exchange(false);
  hand_over.cv.notify_all();
  return true;
}

// The region worker's loop: `work` for every hand-over until `stop`.  What a
// frame throws drops that frame with one error line; the worker goes on.
template<typename Work>
void serveHandOvers(const RegionHandOver & hand_over, int camera_id, Work && work)
{
  while (true) {
    std::unique_lock<std::mutex> lock(hand_over.mutex);
    hand_over.cv.wait(lock, [&] {return !hand_over.idle.load() || hand_over.stop.load();});
    if (hand_over.stop.load()) {
      return;
    }
    try {
      work();
    } catch (const std::exception & error) {
      QLOG_AS(
        "dangerousMapCallback", spdlog::level::err, "cam_{0:d} dangerous region dropped: {1:s}",
        camera_id, error.what());
    } catch (...) {
      QLOG_AS(
        "dangerousMapCallback", spdlog::level::err, "cam_{0:d} dangerous region dropped",
        camera_id);
    }
    hand_over.idle.exchange(true);
  }
}
