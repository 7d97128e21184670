#pragma once
// The tree text format shared by the hardware list, Software.dat and the device list viewer:
// one node per line, one TAB per level, CR LF after every line.
#include <string>
#include <string_view>
#include <vector>

#include "error.h"

namespace cv2 {

struct TreeNode {
  std::string Text;
  std::vector<TreeNode> Children;

  // The first child whose text equals the label exactly, or null.
  const TreeNode* FindChild(std::string_view label) const;
};

// A forest of top-level nodes in their order.
struct Tree {
  std::vector<TreeNode> Roots;

  bool Empty() const { return Roots.empty(); }
  void Clear() { Roots.clear(); }
  // All nodes at every depth.
  size_t NodeCount() const;
};

// The reading error: "Invalid level (%d) for item "%s"".
class TreeLevelError : public Error {
 public:
  TreeLevelError(int level, const std::string& item);
  int Level() const { return m_level; }

 private:
  int m_level;
};

// Splits a text into lines the way the tree reader and the original's string lists do: at CR LF,
// a lone CR or a lone LF; a zero character ends the text; a final line end adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// Reads a text into the tree, appending to what it already holds (callers clear it first).
// A line whose depth is more than one deeper than the node added last raises TreeLevelError;
// the nodes read before that line stay in the tree.
void ReadTreeText(std::string_view text, Tree& tree);

// Writes the tree depth-first: one TAB per level, the node text, CR LF. An empty tree writes "".
std::string WriteTreeText(const Tree& tree);

// Appends one line of the format: as many TABs as the depth, the text unchanged, CR LF. For
// writers that produce lines as they go, which may not form a tree (the hardware list writes the
// sections of a device without a description under the device before it).
void AppendTreeLine(std::string& out, int depth, std::string_view text);

}  // namespace cv2
