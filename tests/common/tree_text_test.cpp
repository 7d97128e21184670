#include <gtest/gtest.h>

#include "tree_text.h"

namespace cv2 {
namespace {

// Renders a tree as "text(children)" for compact expectations.
std::string Shape(const std::vector<TreeNode>& nodes) {
  std::string out;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (i) out += ",";
    out += nodes[i].Text;
    if (!nodes[i].Children.empty()) out += "(" + Shape(nodes[i].Children) + ")";
  }
  return out;
}

struct ReadCase {
  const char* name;
  std::string text;
  std::string shape;
  std::string error;  // empty: no error
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class TreeReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TreeReadTest, ReadsShapeAndErrors) {
  const ReadCase& c = GetParam();
  Tree tree;
  std::string error;
  try {
    ReadTreeText(c.text, tree);
  } catch (const TreeLevelError& e) {
    error = e.what();
  }
  EXPECT_EQ(Shape(tree.Roots), c.shape);
  EXPECT_EQ(error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TreeReadTest,
    ::testing::Values(
        ReadCase{"Empty", "", "", ""},
        ReadCase{"CrLf", "A\r\n\tB\r\n\t\tC\r\nD\r\n", "A(B(C)),D", ""},
        ReadCase{"LoneCrAndLoneLf", "A\r\tB\n\tC", "A(B,C)", ""},
        ReadCase{"SpacesCountAsLevels", "A\n B\n  C\n B2", "A(B(C),B2)", ""},
        ReadCase{"TabAndSpaceEachCountOneLevel", "A\n\tB\n \tC\n\t D", "A(B(C,D))", ""},
        ReadCase{"NulEndsText", std::string("A\r\n\tB\0\r\n\tC", 10), "A(B)", ""},
        ReadCase{"EmptyLineIsLevelZero", "A\r\n\r\nB", "A,,B", ""},
        ReadCase{"FirstLineIsRootWhateverItsDepth", "\t\tA\r\n\tB", "A(B)", ""},
        ReadCase{"FirstLineDepthCountsNothing", "\t\tA\r\n\t\tB",
                 "A", "Invalid level (2) for item \"B\""},
        ReadCase{"ShallowerLineJoinsAncestor", "A\n\tB\n\t\tC\n\t\t\tD\n\tE\nF", "A(B(C(D)),E),F",
                 ""},
        ReadCase{"LevelJumpKeepsNodesReadSoFar", "A\r\n\tB\r\n\t\t\tC\r\n\tD",
                 "A(B)", "Invalid level (3) for item \"C\""},
        ReadCase{"SecondLineTwoDeep", "Dev\r\n\t\tHardwareID", "Dev",
                 "Invalid level (2) for item \"HardwareID\""}),
    [](const auto& info) { return info.param.name; });

TEST(TreeWrite, WritesTabsAndCrLfAndReadsBack) {
  Tree tree;
  tree.Roots.push_back({"Device", {{"HardwareID", {{"PCI\\VEN_8086&DEV_1237", {}}}}}});
  tree.Roots.push_back({"Other", {}});
  const std::string text = WriteTreeText(tree);
  EXPECT_EQ(text, "Device\r\n\tHardwareID\r\n\t\tPCI\\VEN_8086&DEV_1237\r\nOther\r\n");
  Tree back;
  ReadTreeText(text, back);
  EXPECT_EQ(WriteTreeText(back), text);
  EXPECT_EQ(WriteTreeText(Tree{}), "");
}

TEST(TreeWrite, TextBeginningWithBlankLandsDeeperWhenReadBack) {
  // The format cannot keep a node text that begins with a TAB or a SPACE.
  Tree tree;
  tree.Roots.push_back({"A", {}});
  tree.Roots.push_back({" B", {}});
  Tree back;
  ReadTreeText(WriteTreeText(tree), back);
  EXPECT_EQ(Shape(back.Roots), "A(B)");
}

}  // namespace
}  // namespace cv2
