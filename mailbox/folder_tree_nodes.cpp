#include "mailbox/folder_tree_nodes.h"

namespace tarvex {

void FolderTreeNodes::Add(TreeNodeHandle node, TreeNodeHandle parent, std::u16string_view text) {
  Node& added = nodes_[node];
  added.parent = parent;
  added.text = text;
  added.added = true;
  nodes_[parent].children.push_back(node);
}

const std::vector<TreeNodeHandle>& FolderTreeNodes::ChildrenOf(TreeNodeHandle node) const {
  static const std::vector<TreeNodeHandle> kNone;
  const auto found = nodes_.find(node);
  return found == nodes_.end() ? kNone : found->second.children;
}

std::u16string FolderTreeNodes::PathOf(TreeNodeHandle node) const {
  std::u16string path;
  for (auto found = nodes_.find(node); found != nodes_.end() && found->second.added;
       found = nodes_.find(found->second.parent)) {
    path = EscapedPathPart(found->second.text) + (path.empty() ? u"" : u"/") + path;
  }
  return path;
}

std::u16string EscapedPathPart(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (char16_t unit : text) {
    if (unit == u'/' || unit == u'\\') escaped.push_back(u'\\');
    escaped.push_back(unit);
  }
  return escaped;
}

}  // namespace tarvex
