#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace results {

namespace detail {

template <typename T, typename Compare>
void InsertionSort(std::vector<T> &items, std::size_t first, std::size_t last, Compare &compare) {
    for (std::size_t i = first + 1; i < last; ++i) {
        T item = std::move(items[i]);
        std::size_t j = i;
        while (j > first && compare(items[j - 1], item) > 0) {
            items[j] = std::move(items[j - 1]);
            --j;
        }
        items[j] = std::move(item);
    }
}

// Merges the runs [first, middle) and [middle, last) of from into the same places of to.
template <typename T, typename Compare>
void MergeRuns(std::vector<T> &from, std::vector<T> &to, std::size_t first, std::size_t middle,
               std::size_t last, Compare &compare) {
    std::size_t left = first;
    std::size_t right = middle;
    std::size_t out = first;
    while (left < middle && right < last) {
        if (compare(from[left], from[right]) > 0)
            to[out++] = std::move(from[right++]);
        else
            to[out++] = std::move(from[left++]);
    }
    while (left < middle)
        to[out++] = std::move(from[left++]);
    while (right < last)
        to[out++] = std::move(from[right++]);
}

} // namespace detail

// Sorts items stably by compare(a, b): negative when a goes before b, positive after, 0 equal.
// Every position it touches is bounded by the runs' ends, never by what compare answered, so
// the sort ends in bounds and keeps every item exactly once even when compare is no
// consistent order.
template <typename T, typename Compare> void MergeSort(std::vector<T> &items, Compare compare) {
    constexpr std::size_t RunLength = 16;
    const std::size_t count = items.size();
    if (count < 2)
        return;
    for (std::size_t first = 0; first < count; first += RunLength)
        detail::InsertionSort(items, first, std::min(first + RunLength, count), compare);
    if (count <= RunLength)
        return;

    std::vector<T> buffer(count);
    std::vector<T> *from = &items;
    std::vector<T> *to = &buffer;
    for (std::size_t width = RunLength; width < count; width *= 2) {
        for (std::size_t first = 0; first < count; first += 2 * width) {
            const std::size_t middle = std::min(first + width, count);
            const std::size_t last = std::min(first + 2 * width, count);
            detail::MergeRuns(*from, *to, first, middle, last, compare);
        }
        std::swap(from, to);
    }
    if (from != &items)
        items.swap(buffer);
}

} // namespace results
