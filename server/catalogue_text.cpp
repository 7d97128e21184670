#include "catalogue_text.h"

#include <set>

#include "text_util.h"
#include "tree_text.h"

namespace cv2 {

namespace {
constexpr std::string_view kIdsLabel = "IDs";

std::string WithoutComments(std::string_view text) {
  std::string out;
  for (const std::string& line : SplitLines(text)) {
    if (line.empty() || line.front() == '#') continue;  // blank lines and comments
    out += line;
    out += "\r\n";
  }
  return out;
}
}  // namespace

std::vector<CatalogueEntry> ReadCatalogueText(std::string_view text) {
  Tree tree;
  try {
    ReadTreeText(WithoutComments(text), tree);
  } catch (const TreeLevelError& e) {
    throw Error(std::string("the catalogue text is not a tree: ") + e.what());
  }
  std::vector<CatalogueEntry> entries;
  std::set<std::string> keys;
  for (const TreeNode& node : tree.Roots) {
    CatalogueEntry entry;
    entry.Fields.BaseKey = node.Text;
    if (!keys.insert(node.Text).second) throw Error("entry \"" + node.Text + "\" appears twice");
    for (const TreeNode& section : node.Children) {
      std::vector<std::string> values;
      for (const TreeNode& value : section.Children) {
        if (!value.Children.empty())
          throw Error("entry \"" + node.Text + "\": the value \"" + value.Text + "\" of " +
                      section.Text + " has lines under it");
        values.push_back(value.Text);
      }
      if (IEquals(section.Text, kIdsLabel)) {
        for (auto& v : values) entry.Ids.push_back(v);
      } else if (IsConditionKeyword(section.Text)) {
        for (auto& v : values) entry.Conditions.emplace_back(section.Text, v);
      } else {
        std::string* field = nullptr;
        std::string name;
        for (const auto& f : TTransRecord::Fields())
          if (IEquals(section.Text, f.Name)) {
            field = &(entry.Fields.*f.Member);
            name = f.Name;
          }
        if (!field || name == "BaseKey" || name == "HWID")
          throw Error("entry \"" + node.Text + "\": \"" + section.Text +
                      "\" is neither a record field, \"IDs\" nor a report keyword" +
                      (name == "HWID" ? " (list the IDs under \"IDs\")" : "") +
                      (name == "BaseKey" ? " (the entry's line is its BaseKey)" : ""));
        *field = Join(values, "\r\n");
      }
    }
    CheckEntry(entry);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string WriteCatalogueText(const std::vector<CatalogueEntry>& entries) {
  Tree tree;
  for (const CatalogueEntry& entry : entries) {
    TreeNode node{entry.Fields.BaseKey, {}};
    for (const auto& f : TTransRecord::Fields()) {
      const std::string& value = entry.Fields.*f.Member;
      const std::string_view name = f.Name;
      if (value.empty() || name == "BaseKey" || name == "HWID") continue;
      TreeNode section{f.Name, {}};
      for (const std::string& line : SplitLines(value)) section.Children.push_back({line, {}});
      node.Children.push_back(std::move(section));
    }
    if (!entry.Ids.empty()) {
      TreeNode section{std::string(kIdsLabel), {}};
      for (const std::string& id : entry.Ids) section.Children.push_back({id, {}});
      node.Children.push_back(std::move(section));
    }
    for (const auto& [keyword, value] : entry.Conditions) {
      TreeNode* section = nullptr;
      for (auto& existing : node.Children)
        if (existing.Text == keyword) section = &existing;
      if (!section) {
        node.Children.push_back({keyword, {}});
        section = &node.Children.back();
      }
      section->Children.push_back({value, {}});
    }
    tree.Roots.push_back(std::move(node));
  }
  return WriteTreeText(tree);
}

}  // namespace cv2
