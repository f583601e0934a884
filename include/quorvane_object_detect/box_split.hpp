#pragma once

#include <set>
#include <vector>

#include "pelorin/perception/cloud_cluster.hpp"
#include "quorvane_object_detect/cloud.hpp"
#include "quorvane_object_detect/common.hpp"

// The classes whose boxes get a cloud of their own instead of labelling the
// obstacle clusters.
struct BoxClasses
{
  const std::set<int> & no_remove_ground;
  const std::set<int> & dangerous;
};

// Splits the boxes of `detection` into the ground-plane list and the per-box
// list, both with its image and stamp.  Without a close colour image only the
// dangerous boxes are kept: the other boxes may lie elsewhere in the depth.
void splitBoxList(
  const AiDetectResult & detection, bool rgb_mismatch, const BoxClasses & classes,
  AiDetectResult & ground_plane, AiDetectResult & per_box);

// The pixel stride of a box's cloud.
int boxStride(int label, const BoxClasses & classes, int stride, int dangerous_stride);

// Erodes the box's mask along rows with a 1 x k line when the box is wider
// than 2k pixels; true when it did.  The eroded mask is a new buffer: the
// detection result the box was copied from, which the trash thread may be
// reading, keeps its mask.
bool erodeDangerousMask(BboxInfo & box, int k, int camera_id);

// Replaces the record's cloud by its largest cluster (a cloud without cluster
// stays whole); returns the number of clusters.
int keepLargestCluster(
  CloudInfo & record, const pelorin::perception::CloudCluster & clustering, int camera_id);

// Appends the record to the kept-ground list (`has_bbox` true) or, when its
// class is only dangerous, to the dangerous list (`has_bbox` false).
void fileBoxRecord(
  CloudInfo record, const BoxClasses & classes, std::vector<CloudInfo> & no_remove_ground,
  std::vector<CloudInfo> & dangerous);
