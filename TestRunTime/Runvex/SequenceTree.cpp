// The sequence tree's items built from the document and walked in run order.
#include "TestRunTime/Runvex/SequenceTree.h"

#include "TestRunTime/Runvex/SequenceDocument.h"
#include "platform/base/text.h"

namespace runvex {
namespace {

void CollectPreOrder(SequenceItem& item, std::vector<SequenceItem*>& items) {
    items.push_back(&item);
    for (auto& child : item.children) {
        CollectPreOrder(*child, items);
    }
}

} // namespace

SequenceTree::SequenceTree() {
    Clear();
}

void SequenceTree::Clear() {
    root_ = std::make_unique<SequenceItem>();
    root_->label = kRootLabel;
    root_->image = TreeImage::Root;
}

void SequenceTree::Build(const vr::xml::Node& documentElement) {
    Clear();
    if (documentElement) {
        AddTests(documentElement, *root_);
    }
}

void SequenceTree::AddTests(const vr::xml::Node& element, SequenceItem& parent) {
    SequenceItem* owner = &parent;
    if (IsTestElement(element)) {
        auto item = std::make_unique<SequenceItem>();
        std::u16string name;
        (void)element.getAttribute(u"name", &name); // a missing name is an empty label
        item->label = vr::ToUtf8(name);
        item->element = element;
        item->parent = &parent;
        owner = item.get();
        parent.children.push_back(std::move(item));
    }
    for (const vr::xml::Node& child : element.childNodes()) {
        if (child.nodeType() == vr::xml::NODE_ELEMENT) {
            AddTests(child, *owner);
        }
    }
}

std::vector<SequenceItem*> SequenceTree::PreOrder() {
    std::vector<SequenceItem*> items;
    CollectPreOrder(*root_, items);
    return items;
}

SequenceItem* SequenceTree::ItemOf(const vr::xml::Node& element) {
    if (!element) {
        return nullptr;
    }
    for (SequenceItem* item : PreOrder()) {
        if (item->element == element) {
            return item;
        }
    }
    return nullptr;
}

} // namespace runvex
