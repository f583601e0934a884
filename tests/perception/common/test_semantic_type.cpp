#include <gtest/gtest.h>

#include <string>

#include "semantic.pb.h"

namespace {

using google::protobuf::internal::NameOfEnum;
using google::protobuf::internal::ParseNamedEnum;

struct NamedClass {
  const char* name;
  int value;
};

// Names the configuration uses, and numbers the node compares against.
constexpr NamedClass kFixedClasses[] = {
    {"UNLABELED", 1},     {"BASE", 101},   {"WAITING_BENCH", 202},
    {"PERSON", 300},      {"PAPER_CUP", 402},
};
constexpr const char* kConfiguredNames[] = {
    "PERSON", "ESCALATOR_ENTRANCE", "BOTTLE", "PAPER_CUP", "BLOOD", "COFFEE",
    "MILK",   "CARPET",             "MASK",   "WAITING_BENCH", "BASE",
};

TEST(SemanticType, FixedNumbers) {
  for (const NamedClass& entry : kFixedClasses) {
    semantic::SemanticType parsed{};
    ASSERT_TRUE(ParseNamedEnum(semantic::SemanticType_descriptor(), entry.name, &parsed)) << entry.name;
    EXPECT_EQ(static_cast<int>(parsed), entry.value) << entry.name;
  }
}

TEST(SemanticType, EveryConfiguredNameRoundTrips) {
  for (const char* name : kConfiguredNames) {
    semantic::SemanticType parsed{};
    ASSERT_TRUE(ParseNamedEnum(semantic::SemanticType_descriptor(), name, &parsed)) << name;
    EXPECT_EQ(NameOfEnum(semantic::SemanticType_descriptor(), parsed), name);
    EXPECT_EQ(semantic::SemanticType_Name(parsed), name);
    // The kind of a class is its hundreds digit; configured classes all have one.
    EXPECT_GE(static_cast<int>(parsed), 100) << name;
  }
}

TEST(SemanticType, UnknownNamesAndNumbersAreRejected) {
  // Names are parsed exactly: the caller upper-cases, and numbers are no names.
  for (const char* name : {"person", "Person", "300", "", "PERSON ", "TRASH"}) {
    semantic::SemanticType parsed = semantic::BOTTLE;
    EXPECT_FALSE(ParseNamedEnum(semantic::SemanticType_descriptor(), name, &parsed)) << name;
    EXPECT_EQ(parsed, semantic::BOTTLE) << "unchanged on failure: " << name;
  }
  EXPECT_EQ(NameOfEnum(semantic::SemanticType_descriptor(), 299), "");
  EXPECT_EQ(NameOfEnum(semantic::SemanticType_descriptor(), -1), "");
}

}  // namespace
