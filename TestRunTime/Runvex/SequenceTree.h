// The sequence as a tree without widgets: the root item "Main Sequence" and one item per test element, each
// under the item of its nearest enclosing test (elements other than `test` are transparent), with the status
// image each item shows.
//
// Usage: Build from the document element, walk in run order (PreOrder), find an item by element. Items live
// until the next Build or Clear; a caller that keeps item pointers across those (the run) must not let them
// happen meanwhile.
// Threads: the window thread.
#pragma once

#include "platform/xml/dom.h"

#include <memory>
#include <string>
#include <vector>

namespace runvex {

// The image-list indexes of the tree's items.
enum class TreeImage : int {
    Root = 0,
    NotRun = 1,
    Failed = 3,
    Exception = 4,
    Error = 5,
    Passed = 6,
    PresetDone = 7,
    Running = 8,
    TestDone = 9,
};

struct SequenceItem {
    std::string label;
    TreeImage image = TreeImage::NotRun;
    vr::xml::Node element; // empty for the root item
    SequenceItem* parent = nullptr;
    std::vector<std::unique_ptr<SequenceItem>> children;
};

class SequenceTree {
public:
    static constexpr const char* kRootLabel = "Main Sequence";

    SequenceTree();
    SequenceTree(const SequenceTree&) = delete;
    SequenceTree& operator=(const SequenceTree&) = delete;

    // Replaces every item: the root item, then the tests found under the element (itself included when it
    // is a test).
    void Build(const vr::xml::Node& documentElement);
    // Leaves the root item alone, without children.
    void Clear();
    SequenceItem& Root() { return *root_; }
    // Every item in run order: an item, then its children in order, then its next sibling; the root first.
    std::vector<SequenceItem*> PreOrder();
    // The item of the element; null when none shows it.
    SequenceItem* ItemOf(const vr::xml::Node& element);

private:
    void AddTests(const vr::xml::Node& element, SequenceItem& parent);

    std::unique_ptr<SequenceItem> root_; // window thread
};

} // namespace runvex
