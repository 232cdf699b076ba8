#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace zorvan::serial {

// @addtogroup portlist
// @{

// Walks any collection that answers a count and an element at an index,
// through two accessors bound once, at creation. The count is asked afresh
// at every step: over a live collection the walk sees elements added meanwhile.
// Element must have an empty value (nullptr) that means "none left".
template <class Element>
class VXStandardEnumerator {
  public:
    // Holds collection for the enumerator's life.
    template <class Collection, class CountFn, class AtFn>
    VXStandardEnumerator(std::shared_ptr<Collection> collection, CountFn count, AtFn objectAtIndex)
        : collection_(collection),
          count_([c = collection.get(), count] { return std::invoke(count, *c); }),
          nextObject_([c = collection.get(), objectAtIndex](std::size_t i) {
              return std::invoke(objectAtIndex, *c, i);
          }) {}

    // The next element, or the empty Element when none is left.
    Element nextObject() {
        if (position_ >= count_()) {
            return Element{};
        }
        return nextObject_(position_++);
    }

    // The elements not yet handed out, in order; the enumerator is spent after.
    std::vector<Element> allObjects() {
        std::vector<Element> rest;
        while (Element next = nextObject()) {
            rest.push_back(std::move(next));
        }
        return rest;
    }

  private:
    std::shared_ptr<const void> collection_;
    std::function<std::size_t()> count_;
    std::function<Element(std::size_t)> nextObject_;
    std::size_t position_ = 0;
};

// @}

}  // namespace zorvan::serial
