#pragma once

#include <memory>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

namespace pelorin::perception {

// Voxel-grid sampling with the result of pcl::VoxelGrid<pcl::PointXYZ> for the
// same leaf sizes and minimum points per voxel (PCL's defaults otherwise: no
// field limits, every field averaged), in a fraction of its time.
//
// The grid is PCL's: it starts at the bounding box of the finite points, a
// point's voxel along an axis is floor(p * inv) - floor(min * inv) with
// inv = 1 / leaf in float, and voxels are numbered x fastest, then y, then z.
// Each voxel holding at least min_points_per_voxel points (0 and 1 keep every
// voxel) becomes the centroid of its points; they come out ordered by voxel
// number.  The output takes the input's header, sensor origin and
// orientation, height 1, width = its size and is_dense true.  Points with a
// NaN or infinite coordinate are skipped, whatever the cloud's is_dense says
// (PCL believes the flag).
//
// Centroids are the exact means rounded to float.  PCL sums in float, in an
// order its sort leaves open, so its centroids stray from the mean by float
// rounding: below 1e-6 on the node's frames (2.5 cm voxels of stride-2 depth),
// up to about 1e-5 for voxels of hundreds of points.
//
// When the box spans more than INT32_MAX voxels, counted as PCL counts them
// (int(extent / leaf) + 1 per axis), the filter warns through PCL's console
// and hands the input back unchanged, as PCL does.  It does the same when a
// voxel number along an axis leaves the int range, where PCL's own result is
// undefined.
//
// The filter keeps its working memory from frame to frame: once frames stop
// growing it allocates nothing (the output cloud reuses its own capacity).
// One object serves one thread; `in` and `out` may be the same cloud.
class VoxelGridFilter {
 public:
  // Throws std::invalid_argument unless every leaf size is a positive number.
  VoxelGridFilter(float leaf_x, float leaf_y, float leaf_z, unsigned int min_points_per_voxel);
  ~VoxelGridFilter();
  VoxelGridFilter(VoxelGridFilter&&) noexcept;
  VoxelGridFilter& operator=(VoxelGridFilter&&) noexcept;

  void filter(const pcl::PointCloud<pcl::PointXYZ>& in, pcl::PointCloud<pcl::PointXYZ>& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelorin::perception
