// The tracker's configuration file: every failure names the file, and the key.

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tracker_config.hpp"

namespace
{

using pelorin::perception::LoadTrackerConfig;
using pelorin::perception::TrackerConfig;

std::string WriteTemp(const std::string& name, const std::string& text)
{
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

TEST(TrashTrackerConfig, FailuresNameTheFileAndKey)
{
  struct Case
  {
    std::string name;
    std::string text;  // the file content
    std::string key;   // must appear in the message besides the path
  };
  const std::vector<Case> cases = {
    {"syntax", "confirm_hits: [1,\n", ""},
    {"list at the top", "- 1\n- 2\n", "mapping"},
    {"unknown key", "confirm_hit: 3\n", "confirm_hit"},
    {"text for an int", "max_misses: often\n", "max_misses"},
    {"fraction for an int", "confirm_hits: 2.5\n", "confirm_hits"},
    {"map for a float", "max_age: {a: 1}\n", "max_age"},
    {"zero hits", "confirm_hits: 0\n", "confirm_hits"},
    {"negative gate", "association_distance: -0.1\n", "association_distance"},
    {"NaN range", "view_max_range: .nan\n", "view_max_range"},
    {"range below its minimum", "view_min_range: 1.0\nview_max_range: 0.5\n", "view_max_range"},
  };
  for (const Case& c : cases) {
    const std::string path = WriteTemp("tracker_" + std::to_string(&c - cases.data()) + ".yaml",
                                       c.text);
    try {
      LoadTrackerConfig(path);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const std::runtime_error& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(path), std::string::npos) << c.name << ": " << what;
      EXPECT_NE(what.find(c.key), std::string::npos) << c.name << ": " << what;
    }
  }
  for (const std::string& path : {std::string("/nonexistent/tracker.yaml"), ::testing::TempDir()}) {
    try {
      LoadTrackerConfig(path);
      ADD_FAILURE() << path << ": no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
  }
}

TEST(TrashTrackerConfig, GivenKeysOverrideTheRestKeepDefaults)
{
  const TrackerConfig c = LoadTrackerConfig(
    WriteTemp("tracker_ok.yaml", "confirm_hits: 4\nassociation_distance: 0.5\nmax_age: 10\n"));
  EXPECT_EQ(c.confirm_hits, 4);
  EXPECT_DOUBLE_EQ(c.association_distance, 0.5);
  EXPECT_DOUBLE_EQ(c.max_age, 10.0);
  EXPECT_EQ(c.max_misses, TrackerConfig{}.max_misses);
  const TrackerConfig empty = LoadTrackerConfig(WriteTemp("tracker_empty.yaml", ""));
  EXPECT_EQ(empty.confirm_hits, TrackerConfig{}.confirm_hits);
}

TEST(TrashTrackerConfig, ShippedFileIsValid)
{
  EXPECT_NO_THROW(
    LoadTrackerConfig(std::string(QUORVANE_SOURCE_DIR) + "/config/default_params/tracker.yaml"));
}

}  // namespace
