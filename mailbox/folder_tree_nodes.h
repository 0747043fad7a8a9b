#pragma once

// The folder tree as the analysis built it: every mailbox and folder node it gave the window,
// with its parent and text. Kept beside the window's own tree, so that work without a window
// (a search) can walk the folders and name them.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/window_port.h"

namespace tarvex {

class FolderTreeNodes {
 public:
  void Add(TreeNodeHandle node, TreeNodeHandle parent, std::u16string_view text);
  void Clear() { nodes_.clear(); }

  // In the order they were added; none for a node the tree does not know.
  const std::vector<TreeNodeHandle>& ChildrenOf(TreeNodeHandle node) const;
  // "Mailbox/Folder/Subfolder": the texts from the node below the database's own node down,
  // "/" and "\" inside a text escaped by "\".
  std::u16string PathOf(TreeNodeHandle node) const;

 private:
  struct Node {
    TreeNodeHandle parent = kTopOfTree;
    std::u16string text;
    std::vector<TreeNodeHandle> children;
    bool added = false;  // the database's node is never added (the front end makes it)
  };
  std::unordered_map<TreeNodeHandle, Node> nodes_;
};

// A node's text as one part of a path: "/" and "\" escaped by "\".
std::u16string EscapedPathPart(std::u16string_view text);

}  // namespace tarvex
