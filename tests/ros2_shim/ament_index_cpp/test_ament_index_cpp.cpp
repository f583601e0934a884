#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "ament_index_cpp/get_package_prefix.hpp"
#include "ament_index_cpp/get_package_share_directory.hpp"
#include "ament_index_cpp/get_packages_with_prefixes.hpp"
#include "ament_index_cpp/get_resource.hpp"
#include "ament_index_cpp/get_search_paths.hpp"
#include "ament_index_cpp/has_resource.hpp"

namespace fs = std::filesystem;

namespace
{

// Two install prefixes in a fresh temporary folder, and AMENT_PREFIX_PATH
// pointing at them; the previous value comes back afterwards.
class AmentIndexTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    if (const char * old = std::getenv("AMENT_PREFIX_PATH")) {
      saved_ = old;
    }
    std::string pattern = (fs::temp_directory_path() / "ament_index_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    first_ = root_ / "first";
    second_ = root_ / "second";
    fs::create_directories(first_);
    fs::create_directories(second_);
  }

  void TearDown() override
  {
    if (saved_) {
      setenv("AMENT_PREFIX_PATH", saved_->c_str(), 1);
    } else {
      unsetenv("AMENT_PREFIX_PATH");
    }
    fs::remove_all(root_);
  }

  static void add_package(const fs::path & prefix, const std::string & name,
    const std::string & content = "")
  {
    const fs::path index = prefix / "share/ament_index/resource_index/packages";
    fs::create_directories(index);
    std::ofstream(index / name) << content;
    fs::create_directories(prefix / "share" / name);
  }

  void use_prefixes(const std::string & value) {setenv("AMENT_PREFIX_PATH", value.c_str(), 1);}

  fs::path root_, first_, second_;
  std::optional<std::string> saved_;
};

TEST_F(AmentIndexTest, UnsetOrEmptyPrefixPathIsAnError)
{
  unsetenv("AMENT_PREFIX_PATH");
  EXPECT_THROW(ament_index_cpp::get_search_paths(), std::runtime_error);
  EXPECT_THROW(ament_index_cpp::get_package_share_directory("any"), std::runtime_error);
  use_prefixes("");
  EXPECT_THROW(ament_index_cpp::get_search_paths(), std::runtime_error);
}

TEST_F(AmentIndexTest, SearchPathsKeepOrderAndSkipMissingFolders)
{
  use_prefixes(first_.string() + ":" + (root_ / "missing").string() + "::" + second_.string());
  const auto paths = ament_index_cpp::get_search_paths();
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths.front(), first_.string());
  EXPECT_EQ(paths.back(), second_.string());
}

TEST_F(AmentIndexTest, PackageIsFoundInTheFirstPrefixThatRegistersIt)
{
  add_package(second_, "detector");
  add_package(second_, "shared");
  add_package(first_, "shared");
  use_prefixes(first_.string() + ":" + second_.string());

  EXPECT_EQ(ament_index_cpp::get_package_prefix("detector"), second_.string());
  EXPECT_EQ(ament_index_cpp::get_package_share_directory("detector"),
    second_.string() + "/share/detector");
  EXPECT_EQ(ament_index_cpp::get_package_prefix("shared"), first_.string());

  const auto packages = ament_index_cpp::get_packages_with_prefixes();
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages.at("shared"), first_.string());
}

TEST_F(AmentIndexTest, ShareFolderWithoutMarkerIsNotAPackage)
{
  fs::create_directories(first_ / "share/unregistered");
  use_prefixes(first_.string());
  try {
    ament_index_cpp::get_package_share_directory("unregistered");
    FAIL() << "expected PackageNotFoundError";
  } catch (const ament_index_cpp::PackageNotFoundError & e) {
    EXPECT_EQ(e.package_name, "unregistered");
    EXPECT_NE(std::string(e.what()).find("'unregistered'"), std::string::npos) << e.what();
  }
  // Callers that only know the standard exception still catch it.
  EXPECT_THROW(ament_index_cpp::get_package_prefix("unregistered"), std::out_of_range);
}

TEST_F(AmentIndexTest, ResourcesAreReadAndHiddenFilesIgnored)
{
  add_package(first_, "detector", "depends_on_nothing");
  std::ofstream(first_ / "share/ament_index/resource_index/packages/.hidden") << "";
  use_prefixes(first_.string());

  std::string content, prefix;
  ASSERT_TRUE(ament_index_cpp::get_resource("packages", "detector", content, &prefix));
  EXPECT_EQ(content, "depends_on_nothing");
  EXPECT_EQ(prefix, first_.string());
  EXPECT_FALSE(ament_index_cpp::has_resource("packages", "other"));
  EXPECT_EQ(ament_index_cpp::get_packages_with_prefixes().count(".hidden"), 0u);
  EXPECT_THROW(ament_index_cpp::has_resource("", "detector"), std::runtime_error);
}

TEST_F(AmentIndexTest, BuildTreePrefixFromCMakeExposesTheSourceFolder)
{
  use_prefixes(QUORVANE_AMENT_PREFIX);
  const std::string share =
    ament_index_cpp::get_package_share_directory("quorvane_ament_index_fixture");
  std::ifstream file(share + "/fixture.yaml");
  ASSERT_TRUE(file.good()) << share;
  std::string line;
  std::getline(file, line);
  EXPECT_EQ(line, "fixture: share directory seen through the ament index");
}

}  // namespace
