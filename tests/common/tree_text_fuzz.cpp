// Fuzz target of the tree text reader: any text reads into a tree or stops with the level error,
// keeping what was read; the tree read, written out and read again, is the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tree_text.h"

namespace {
bool Same(const std::vector<cv2::TreeNode>& a, const std::vector<cv2::TreeNode>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].Text != b[i].Text || !Same(a[i].Children, b[i].Children)) return false;
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  cv2::Tree tree;
  try {
    cv2::ReadTreeText(text, tree);
  } catch (const cv2::TreeLevelError&) {
    // The nodes before the faulty line stay; they must still form a well-made tree.
  }
  // Node texts hold no line break and no leading TAB or blank, so writing is faithful.
  cv2::Tree again;
  cv2::ReadTreeText(cv2::WriteTreeText(tree), again);
  if (!Same(tree.Roots, again.Roots)) std::abort();
  return 0;
}
