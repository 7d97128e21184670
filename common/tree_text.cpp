#include "tree_text.h"

#include <string>

namespace cv2 {

const TreeNode* TreeNode::FindChild(std::string_view label) const {
  for (const auto& child : Children)
    if (child.Text == label) return &child;
  return nullptr;
}

namespace {
size_t CountNodes(const std::vector<TreeNode>& nodes) {
  size_t n = nodes.size();
  for (const auto& node : nodes) n += CountNodes(node.Children);
  return n;
}

void WriteNodes(const std::vector<TreeNode>& nodes, int level, std::string& out) {
  for (const auto& node : nodes) {
    AppendTreeLine(out, level, node.Text);
    WriteNodes(node.Children, level + 1, out);
  }
}
}  // namespace

size_t Tree::NodeCount() const {
  return CountNodes(Roots);
}

TreeLevelError::TreeLevelError(int level, const std::string& item)
    : Error("Invalid level (" + std::to_string(level) + ") for item \"" + item + "\""),
      m_level(level) {}

std::vector<std::string> SplitLines(std::string_view text) {
  if (auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

void ReadTreeText(std::string_view text, Tree& tree) {
  // The chain of sibling lists from the top level down to the list of the node added last.
  // Only the last list ever grows, so the pointers to the lists above it stay valid.
  std::vector<std::vector<TreeNode>*> chain;
  bool first = true;
  for (const std::string& line : SplitLines(text)) {
    size_t depth = 0;
    while (depth < line.size() && (line[depth] == '\t' || line[depth] == ' ')) ++depth;
    std::string item = line.substr(depth);
    const auto level = static_cast<int>(depth);
    if (first) {
      // The first node is a top-level node whatever its indentation.
      tree.Roots.push_back(TreeNode{std::move(item), {}});
      chain = {&tree.Roots};
      first = false;
      continue;
    }
    const int lastLevel = static_cast<int>(chain.size()) - 1;
    if (level > lastLevel + 1) throw TreeLevelError(level, item);
    if (level == lastLevel + 1)
      chain.push_back(&chain.back()->back().Children);
    else
      chain.resize(static_cast<size_t>(level) + 1);
    chain.back()->push_back(TreeNode{std::move(item), {}});
  }
}

void AppendTreeLine(std::string& out, int depth, std::string_view text) {
  if (depth > 0) out.append(static_cast<size_t>(depth), '\t');
  out += text;
  out += "\r\n";
}

std::string WriteTreeText(const Tree& tree) {
  std::string out;
  WriteNodes(tree.Roots, 0, out);
  return out;
}

}  // namespace cv2
