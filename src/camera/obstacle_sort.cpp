#include "quorvane_object_detect/obstacle_sort.hpp"

#include <utility>

namespace
{

bool contains(const std::set<int> & classes, int label) {return classes.count(label) != 0;}

void divide(const CloudInfo & record, const DivideCloud & divide_cloud, SortedRecords & sorted)
{
  CloudInfo moving{{}, record.bbox, record.label, record.has_bbox};
  CloudInfo still{{}, record.bbox, record.label, record.has_bbox};
  divide_cloud(record.cloud, moving.cloud, still.cloud);
  switch (divisionOf(moving.cloud.size(), record.cloud.size())) {
    case Division::kWholeDynamic:
      sorted.dynamic_records.push_back(record);
      break;
    case Division::kWholeStatic:
      sorted.static_records.push_back(record);
      break;
    case Division::kSplit:
      sorted.dynamic_records.push_back(std::move(moving));
      sorted.static_records.push_back(std::move(still));
      break;
  }
}

}  // namespace

Division divisionOf(std::size_t moving, std::size_t total)
{
  // In single precision, as the thresholds were tuned: 7 of 10 is just below 0.7.
  const double ratio = static_cast<double>(static_cast<float>(moving) / static_cast<float>(total));
  if (ratio > 0.7) {
    return Division::kWholeDynamic;
  }
  if (ratio < 0.3) {
    return Division::kWholeStatic;
  }
  // Also the NaN of an empty record.
  return Division::kSplit;
}

SortedRecords pointCloudPostcress(
  const std::vector<CloudInfo> & records, const ObstacleClasses & classes,
  const DivideCloud & divide_cloud)
{
  SortedRecords sorted;
  for (const CloudInfo & record : records) {
    if (contains(classes.dynamic, record.label)) {
      sorted.dynamic_records.push_back(record);
    } else if (contains(classes.static_obstacle, record.label)) {
      sorted.static_records.push_back(record);
    } else if (contains(classes.stain, record.label)) {
      sorted.stain_records.push_back(record);
    } else if (divide_cloud) {
      divide(record, divide_cloud, sorted);
    } else {
      sorted.static_records.push_back(record);
    }
  }
  return sorted;
}
