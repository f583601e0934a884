// Bad input through the running node: each case must cost at most its own
// frame, say what is wrong, and leave the next good frame handled as usual.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/twist.hpp"
#include "pelorin/perception/time_conversions.hpp"
#include "pipeline/pipeline_fixture.hpp"
#include "quorvane_protocol/msg/detected_wastes.hpp"
#include "quorvane_protocol/msg/semantic_point_cloud.hpp"
#include "quorvane_protocol/msg/task_center_fsm_status.hpp"
#include "tf2_msgs/msg/tf_message.hpp"

namespace node_test
{
namespace
{

using quorvane_protocol::msg::DetectedWastes;
using quorvane_protocol::msg::SemanticPointCloud;
using sensor_msgs::msg::Image;

const std::string kConfig = std::string(QUORVANE_BINARY_DIR) + "/config/";
constexpr double kStart = 1000.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Grey with a yellow 60 x 60 patch: a paper cup to the model.
Image colour(double stamp, int width = 640, int height = 400)
{
  auto image = makeImage("rgb8", width, height, stamp, 110);
  for (int row = 210; row < 270 && row < height; ++row) {
    for (int column = 290; column < 350 && column < width; ++column) {
      uint8_t * pixel = &image.data[row * image.step + column * 3];
      pixel[0] = 255;
      pixel[1] = 255;
      pixel[2] = 0;
    }
  }
  return image;
}

// Depth rising from 1 m at the top row by 2 mm a row: floor-like to the camera.
Image ramp(double stamp, int width = 640, int height = 400)
{
  auto image = wall(stamp, 0.0, width, height);
  for (int row = 0; row < height; ++row) {
    const auto millimetres = static_cast<uint16_t>(1000 + 2 * row);
    for (int column = 0; column < width; ++column) {
      std::memcpy(&image.data[row * image.step + 2 * column], &millimetres, 2);
    }
  }
  return image;
}

// Camera 1 0.5 m up looking ahead, the colour-patch model taking yellow for
// a paper cup.
class CupCamera : public PipelineTest
{
protected:
  void startCupCamera(bool robot_on_tf)
  {
    auto feeds = defaultFeeds(1);
    feeds[0].tx = 0.1;
    feeds[0].rotation = {-0.5, 0.5, -0.5, 0.5};
    // Queues longer than the test's images: the rate reports of full queues stay out.
    startNode({
        rclcpp::Parameter("model_meta_file", kConfig + "colour_patch_seg_meta.yaml"),
        rclcpp::Parameter(
          "trash_detection.trash_class_type", std::vector<std::string>{"PAPER_CUP"}),
        rclcpp::Parameter("rgb_buffer_size", 100)}, kStart, feeds, robot_on_tf);
  }
};

// The cup camera with "map" on tf2: a good frame runs every stage, the trash
// thread and the tracker included.
class BadFrames : public CupCamera
{
protected:
  void SetUp() override
  {
    startCupCamera(false);
    stopCapture();
    const auto peer = harness_->peer();
    map_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(peer);
    map_->sendTransform(transform("map", "odom_fusion", 0.0, 0.0, 0.0, 1.0));
    tf_ = peer->create_publisher<tf2_msgs::msg::TFMessage>("/tf", rclcpp::QoS(100));
    cmd_vel_ = peer->create_publisher<geometry_msgs::msg::Twist>("/cmd_vel", 1);
    fsm_ = peer->create_publisher<quorvane_protocol::msg::TaskCenterFsmStatus>("/fsm_status", 1);
    statics_ = std::make_unique<Recorder<SemanticPointCloud>>(peer, "/cam1_static_obstacle_cloud");
    drawn_ = std::make_unique<Recorder<Image>>(peer, "/cam1_detect_bbox_image");
    wastes_ = std::make_unique<Recorder<DetectedWastes>>(peer, "/detected_wastes");
  }

  static geometry_msgs::msg::TransformStamped transform(
    const std::string & parent, const std::string & child, double x, double y, double z, double w)
  {
    geometry_msgs::msg::TransformStamped t;
    t.header.frame_id = parent;
    t.child_frame_id = child;
    t.transform.rotation.x = x;
    t.transform.rotation.y = y;
    t.transform.rotation.z = z;
    t.transform.rotation.w = w;
    return t;
  }

  // Moves the clock on by a minute, past every report site's throttle.
  double nextMinute()
  {
    now_ += 61.0;
    harness_->setSimTime(now_);
    return now_;
  }

  // A colour and a depth image of the same stamp; the depth callback is done
  // on return.  With `angular_z` that turn rate answers the trash thread.
  void frame(const Image & rgb, const Image & depth, const double * angular_z = nullptr)
  {
    publishRgb(rgb);
    std::thread driver = answerCmdVel(
      harness_->peer(), cmd_vel_,
      angular_z ? std::optional<double>(*angular_z) : std::nullopt);
    this->depth(depth);
    driver.join();
  }

  // A good frame half a second after the case: true when it went through
  // every stage and the trash thread.
  ::testing::AssertionResult goodFrameHandled()
  {
    now_ += 0.5;
    harness_->setSimTime(now_);
    const auto statics = statics_->count();
    const auto drawn = drawn_->count();
    const auto wastes = wastes_->count();
    const auto trash = camera()->trashFramesDone();
    frame(colour(now_), ramp(now_));
    if (!statics_->reaches(statics + 1) || !drawn_->reaches(drawn + 1)) {
      return ::testing::AssertionFailure() << "no static cloud or detection image";
    }
    const double stamp = stampOf(statics_->messages().back()->header.stamp);
    if (std::fabs(stamp - now_) > 1e-6) {
      return ::testing::AssertionFailure() << "static cloud of " << stamp << ", not " << now_;
    }
    if (!waitFor([&] {return camera()->trashFramesDone() > trash;}, kFrameLimit) ||
      !wastes_->reaches(wastes + 1))
    {
      return ::testing::AssertionFailure() << "the trash thread did not feed the tracker";
    }
    return ::testing::AssertionSuccess();
  }

  double now_ = kStart;
  rclcpp::Publisher<tf2_msgs::msg::TFMessage>::SharedPtr tf_;
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr cmd_vel_;
  rclcpp::Publisher<quorvane_protocol::msg::TaskCenterFsmStatus>::SharedPtr fsm_;
  std::unique_ptr<Recorder<SemanticPointCloud>> statics_;
  std::unique_ptr<Recorder<Image>> drawn_;
  std::unique_ptr<Recorder<DetectedWastes>> wastes_;

private:
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> map_;
};

// The WARN and ERROR texts of `texts`, in their order.
std::vector<std::string> said(const std::vector<std::string> & texts)
{
  std::vector<std::string> lines;
  std::copy_if(
    texts.begin(), texts.end(), std::back_inserter(lines), [](const std::string & text) {
      return text.rfind("WARN ", 0) == 0 || text.rfind("ERROR ", 0) == 0;
    });
  return lines;
}

::testing::AssertionResult startEach(
  const std::vector<std::string> & lines, const std::vector<std::string> & prefixes)
{
  bool same = lines.size() == prefixes.size();
  for (std::size_t i = 0; same && i < lines.size(); ++i) {
    same = lines[i].rfind(prefixes[i], 0) == 0;
  }
  if (same) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "said " << ::testing::PrintToString(lines) <<
         "\nexpected lines starting " << ::testing::PrintToString(prefixes);
}

constexpr int kSensorData = 100700002;
constexpr int kSensorTime = 100700003;

TEST_F(BadFrames, EachCostsAtMostItsFrameSaysWhyAndTheNextFrameRuns)
{
  struct Case
  {
    const char * what;
    std::function<void(double now)> feed;
    std::vector<std::string> said;  // line prefixes, stdout, in order
    std::vector<int> codes;         // on "exception_handle"
    bool trash;                     // the trash thread takes the bad frame
    const char * tf2_said = "";     // on stderr
  };
  // Each bad depth image comes with a good colour image, and the other way round.
  const auto withColour = [this](const Image & depth) {
      frame(colour(stampOf(depth.header.stamp)), depth);
    };
  const auto claim = [](const std::string & encoding, int bytes, double t) {
      auto image = makeImage(encoding, 1, 1, t, 0);
      image.width = image.height = 65536;
      image.step = 65536 * bytes;
      image.data.clear();
      return image;
    };
  const auto tf = [this](double x, double w, double t) {
      tf2_msgs::msg::TFMessage message;
      message.transforms.push_back(transform("map", "odom_fusion", x, 0.0, 0.0, w));
      message.transforms.back().header.stamp = DoubleToStamp(t);
      tf_->publish(message);
    };
  const std::vector<Case> cases{
    {"depth step x height past its data", [&](double t) {
        auto depth = ramp(t);
        depth.step += 64;
        withColour(depth);
      },
      {"ERROR camera1 depth image unreadable: 640x400 16UC1: 400 rows of 1344 bytes are 537600 "
        "bytes, the message holds 512000"}, {}, false},
    {"colour step x height past its data", [&](double t) {
        auto rgb = colour(t);
        rgb.data.resize(rgb.data.size() - rgb.step);
        publishRgb(rgb);
      },
      {"ERROR camera1 rgb image unreadable: 640x400 rgb8: 400 rows of 1920 bytes are 768000 "
        "bytes, the message holds 766080"}, {}, false},
    {"depth width 0", [&](double t) {withColour(makeImage("16UC1", 0, 400, t, 0));},
      {"ERROR camera1 depth is empty", "ERROR ErrorCode:100700002 in camera1"}, {kSensorData},
      false},
    {"depth height 0", [&](double t) {withColour(makeImage("16UC1", 640, 0, t, 0));},
      {"ERROR camera1 depth is empty", "ERROR ErrorCode:100700002 in camera1"}, {kSensorData},
      false},
    // Rows and columns past int in the depth-to-cloud bounds.
    {"depth 0 x 2147483646", [&](double t) {
        auto depth = makeImage("16UC1", 0, 1, t, 0);
        depth.height = 2147483646;
        withColour(depth);
      }, {"ERROR camera1 depth is empty", "ERROR ErrorCode:100700002 in camera1"}, {kSensorData},
      false},
    // Not queued: the depth image takes the last good colour image, a minute old.
    {"colour 0 x 0", [&](double t) {frame(makeImage("rgb8", 0, 0, t, 0), ramp(t));},
      {"ERROR camera1 rgb is empty", "ERROR ErrorCode:100700002 in camera1",
        "WARN ErrorCo:100700003, The difference between depth="}, {kSensorData}, true},
    {"depth 65536 x 65536 claim without data", [&](double t) {withColour(claim("16UC1", 2, t));},
      {"ERROR camera1 depth image unreadable: 65536x65536 16UC1: 65536 rows of 131072 bytes are "
        "8589934592 bytes, the message holds 0"}, {}, false},
    {"colour 65536 x 65536 claim without data", [&](double t) {publishRgb(claim("rgb8", 3, t));},
      {"ERROR camera1 rgb image unreadable: 65536x65536 rgb8: 65536 rows of 196608 bytes are "
        "12884901888 bytes, the message holds 0"}, {}, false},
    {"depth in an unknown encoding", [&](double t) {
        auto depth = ramp(t);
        depth.encoding = "z16";
        withColour(depth);
      }, {"ERROR camera1 depth image unreadable: 640x400 z16: unknown encoding"}, {}, false},
    {"colour in an unknown encoding", [&](double t) {
        auto rgb = colour(t);
        rgb.encoding = "z24";
        frame(rgb, ramp(t));
      }, {"ERROR camera1 rgb image unreadable: 640x400 z24: unknown encoding",
        "WARN ErrorCo:100700003, The difference between depth="}, {}, true},
    {"depth of three channels", [&](double t) {withColour(colour(t));},
      {"ERROR camera1 depth image has 3 channels (rgb8), expected one"}, {}, false},
    // Its cloud would be scaled by intrinsics of another image.
    {"depth of another size than its camera info", [&](double t) {withColour(ramp(t, 320, 200));},
      {"ERROR camera1 depth image 320x200 16UC1 is not the camera info's size 640x400: its "
        "intrinsics do not fit it"}, {}, false},
    {"colour of another size than the depth", [&](double t) {
        frame(colour(t, 320, 200), ramp(t));
      }, {"WARN cam_1 colour image 320x200 is not the depth image's size 640x400"}, {}, false},
    // The trash thread places trash in the image's own frame.
    {"empty frame ids", [&](double t) {
        auto rgb = colour(t);
        auto depth = ramp(t);
        rgb.header.frame_id = depth.header.frame_id = "";
        frame(rgb, depth);
      }, {"ERROR camera1 depth image has no frame_id, its trash cannot be placed",
        "WARN cam_1 tf2 has no transform from  to map: trash is not placed"}, {}, true},
    {"transform with a NaN quaternion", [&](double t) {
        tf(kNaN, 1.0, t);
        withColour(ramp(t));
      }, {}, {}, true, "TF_NAN_INPUT: Ignoring transform for child_frame_id \"odom_fusion\""},
    {"transform with a quaternion of length 2", [&](double t) {
        tf(0.0, 2.0, t);
        withColour(ramp(t));
      }, {}, {}, true, "TF_DENORMALIZED_QUATERNION: Ignoring transform for child_frame_id "
      "\"odom_fusion\""},
    {"stamps a day ahead", [&](double t) {withColour(ramp(t + 86400.0));},
      {"ERROR camera1 rgb time error, current_time is", "ERROR ErrorCode:100700003 in camera1",
        "ERROR camera1 depth time error, current_time is", "ERROR ErrorCode:100700003 in camera1"},
      {kSensorTime, kSensorTime}, true},
    {"clock jumps back 1000 s (simulation restart)", [&](double t) {
        now_ = t - 1000.0;
        harness_->setSimTime(now_);
        withColour(ramp(now_));
      }, {}, {}, true},
    // The report sites throttled before the jump speak again at once.
    {"depth step x height past its data, after the restart", [&](double t) {
        auto depth = ramp(t);
        depth.step += 64;
        withColour(depth);
      }, {"ERROR camera1 depth image unreadable: 640x400 16UC1"}, {}, false},
    {"cmd_vel with a NaN turn rate", [&](double t) {frame(colour(t), ramp(t), &kNaN);},
      {}, {}, true},
    {"fsm_status of unknown values", [&](double t) {
        quorvane_protocol::msg::TaskCenterFsmStatus status;
        status.fsm_state = 12345;
        status.fsm_sub_state = -7;
        fsm_->publish(status);
        withColour(ramp(t));
      }, {}, {}, true},
  };
  for (const Case & c : cases) {
    SCOPED_TRACE(c.what);
    const double t = nextMinute();
    const auto codes = harness_->exceptionCodes().size();
    const auto trash = camera()->trashFramesDone();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    c.feed(t);
    if (c.trash) {
      EXPECT_TRUE(waitFor([&] {return camera()->trashFramesDone() > trash;}, kFrameLimit));
    }
    const auto handled = goodFrameHandled();
    const auto texts = logTexts(testing::internal::GetCapturedStdout());
    const std::string tf2 = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(handled);
    EXPECT_TRUE(startEach(said(texts), c.said));
    const auto all = harness_->exceptionCodes();
    EXPECT_EQ(std::vector<int>(all.begin() + codes, all.end()), c.codes);
    EXPECT_EQ(camera()->trashFramesDone(), trash + c.trash + 1);
    EXPECT_NE(tf2.find(c.tf2_said), std::string::npos) << tf2;
    EXPECT_TRUE(linesStarting(texts, "ERROR cam_1 frame dropped").empty());
  }
}

// Depth images no stage may read, stamped a day before or after the clock:
// their age does not spare them the intake checks.  Each kind says its line
// once a minute, runs no stage, and the good frame after it runs as usual.
TEST_F(BadFrames, UnusableDepthOfAnyAgeSaysOneLineAMinuteAndRunsNoStage)
{
  struct Case
  {
    const char * what;
    std::function<Image(double stamp)> depth;
    std::vector<std::string> said;  // the first time in a minute
    std::vector<int> codes;
  };
  const std::vector<std::string> empty{
    "ERROR camera1 depth is empty", "ERROR ErrorCode:100700002 in camera1"};
  const std::vector<Case> cases{
    {"unknown encoding", [](double t) {
        auto depth = ramp(t);
        depth.encoding = "z16";
        return depth;
      }, {"ERROR camera1 depth image unreadable: 640x400 z16: unknown encoding"}, {}},
    {"step x height past its data", [](double t) {
        auto depth = ramp(t);
        depth.step += 64;
        return depth;
      }, {"ERROR camera1 depth image unreadable: 640x400 16UC1: 400 rows of 1344 bytes"}, {}},
    {"three channels", [](double t) {return colour(t);},
      {"ERROR camera1 depth image has 3 channels (rgb8), expected one"}, {}},
    {"width 0", [](double t) {return makeImage("16UC1", 0, 400, t, 0);}, empty, {kSensorData}},
    {"height 0", [](double t) {return makeImage("32FC1", 640, 0, t, 0);}, empty, {kSensorData}},
    {"another size than its camera info", [](double t) {return ramp(t, 1280, 800);},
      {"ERROR camera1 depth image 1280x800 16UC1 is not the camera info's size 640x400"}, {}},
  };
  for (const double age : {86400.0, -86400.0}) {
    for (const Case & c : cases) {
      SCOPED_TRACE(std::string(c.what) + ", " + std::to_string(age) + " s old");
      const double t = nextMinute();
      const auto codes = harness_->exceptionCodes().size();
      const auto drawn = drawn_->count();
      const auto trash = camera()->trashFramesDone();
      testing::internal::CaptureStdout();
      // Twice within the minute; read, it would pair with the last good
      // frame's colour image and run every stage.
      for (int repeat = 0; repeat < 2; ++repeat) {
        depth(c.depth(t - age));
      }
      const auto texts = logTexts(testing::internal::GetCapturedStdout());

      EXPECT_TRUE(startEach(said(texts), c.said));
      const auto all = harness_->exceptionCodes();
      EXPECT_EQ(std::vector<int>(all.begin() + codes, all.end()), c.codes);
      EXPECT_TRUE(linesStarting(texts, "DEBUG camera_1 depthCallback get msg-time").empty());
      EXPECT_TRUE(linesStarting(texts, "DEBUG cam_1 :<callback> runtime").empty());
      EXPECT_EQ(drawn_->count(), drawn);
      EXPECT_EQ(camera()->trashFramesDone(), trash);
      EXPECT_TRUE(goodFrameHandled());
    }
  }
}

// Neither "map" nor "odom_fusion" on tf2: trash detection and the escalator
// regions stop, each saying so once a minute, not once a frame.
class MissingTransforms : public CupCamera
{
};

TEST_F(MissingTransforms, EachSaysOnceAMinuteWhatStops)
{
  startCupCamera(true);
  // The moving-object stage waits for "odom"; nothing connects it to "odom_fusion".
  geometry_msgs::msg::TransformStamped odom;
  odom.header.frame_id = "odom";
  odom.child_frame_id = "base_footprint";
  odom.transform.rotation.w = 1.0;
  tf2_ros::StaticTransformBroadcaster odom_on_tf(harness_->peer());
  odom_on_tf.sendTransform(odom);
  const std::vector<std::string> warnings{
    "WARN cam_1 tf2 has no transform from camera_01_depth_optical_frame to map: trash is not "
    "placed",
    "WARN cam_1 tf2 has no transform from base_footprint to odom_fusion: escalator regions are "
    "not updated"};
  // A paper cup and a blue escalator entrance beside it.
  const auto frame = [this](double t) {
      auto rgb = colour(t);
      for (int row = 200; row < 320; ++row) {
        for (int column = 100; column < 180; ++column) {
          uint8_t * pixel = &rgb.data[row * rgb.step + column * 3];
          pixel[0] = pixel[1] = 0;
          pixel[2] = 255;
        }
      }
      harness_->setSimTime(t);
      publishRgb(rgb);
      const auto trash = camera()->trashFramesDone();
      depth(ramp(t));
      EXPECT_TRUE(waitFor([&] {return camera()->trashFramesDone() > trash;}, kFrameLimit));
    };
  for (const double minute : {kStart, kStart + 61.0}) {
    for (int k = 0; k < 3; ++k) {
      frame(minute + 0.1 * k);
    }
  }
  const auto texts = stopCapture();
  for (const auto & warning : warnings) {
    EXPECT_EQ(std::count(texts.begin(), texts.end(), warning), 2) << warning;
  }
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));
}

// The robot's odometry on tf2 as it drives, through a simulation restart:
// the clock goes back, and the frames after it must find their poses as the
// frames before did (tf2 forgets all but the static transforms then).
class SimulationRestart : public PipelineTest
{
};

TEST_F(SimulationRestart, FramesAfterTheClockWentBackFindTheirPoses)
{
  startNode({rclcpp::Parameter("debug", false)}, kStart, defaultFeeds(1), true);
  const auto peer = harness_->peer();
  tf2_ros::StaticTransformBroadcaster fusion(peer);
  geometry_msgs::msg::TransformStamped link;
  link.header.frame_id = "odom_fusion";
  link.child_frame_id = "odom";
  link.transform.rotation.w = 1.0;
  fusion.sendTransform(link);
  auto tf = peer->create_publisher<tf2_msgs::msg::TFMessage>("/tf", rclcpp::QoS(100));
  Recorder<SemanticPointCloud> statics(peer, "/cam1_static_obstacle_cloud");
  int frames = 0;
  for (const double start : {kStart, 10.0}) {
    harness_->setSimTime(start);
    // A second tick: the clock runs it after the jump's callbacks, so tf2
    // has forgotten the old transforms before the new ones come.
    harness_->setSimTime(start + 0.001);
    for (int k = 0; k < 5; ++k, ++frames) {
      const double t = start + 0.1 * k;
      tf2_msgs::msg::TFMessage odom;
      odom.transforms.resize(1);
      odom.transforms[0].header.frame_id = "odom";
      odom.transforms[0].header.stamp = DoubleToStamp(t);
      odom.transforms[0].child_frame_id = "base_footprint";
      odom.transforms[0].transform.translation.x = 0.01 * k;
      odom.transforms[0].transform.rotation.w = 1.0;
      tf->publish(odom);
      rgb(t);
      depth(t, 1000);
    }
  }
  ASSERT_TRUE(statics.reaches(static_cast<std::size_t>(frames)));
  const auto texts = stopCapture();
  EXPECT_TRUE(errorLines(texts).empty()) << ::testing::PrintToString(errorLines(texts));
}

}  // namespace
}  // namespace node_test
