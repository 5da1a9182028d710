// Numbers handed to numpy: filled while the program is held (no GIL), then owned by a read-only numpy array
// without a copy. The memory of freed arrays is kept for the next ones of the same size, so that a loop over
// the frames of a trajectory writes into memory it has touched before instead of fresh pages.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>

constexpr std::size_t SPARE_BYTES_KEPT = std::size_t(128) << 20;  // freed array memory kept for reuse, at most

void* TakeArrayMemory(std::size_t bytes);               // a spare block of exactly this size, else a new one
void GiveBackArrayMemory(void* block, std::size_t bytes);  // kept as a spare within SPARE_BYTES_KEPT, else freed
std::vector<double> TakeSpareTable(std::size_t count);  // a kept table of count values (not set), else an empty one
void GiveBackTable(std::vector<double>&& table);        // kept as a spare within SPARE_BYTES_KEPT, else freed

// size values of T in array memory, not yet set; given back when it dies unless an array took it over.
template <typename T>
struct Column {
    T* values = nullptr;
    std::size_t size = 0;

    Column() = default;
    explicit Column(std::size_t count) : values(static_cast<T*>(TakeArrayMemory(count * sizeof(T)))), size(count) {}
    Column(Column&& other) noexcept : values(std::exchange(other.values, nullptr)), size(other.size) {}
    Column& operator=(Column&& other) noexcept {
        std::swap(values, other.values);
        std::swap(size, other.size);
        return *this;
    }
    ~Column() {
        if (values != nullptr) GiveBackArrayMemory(values, size * sizeof(T));
    }
};

// The column as a read-only numpy array of the given shape, which owns its memory from now on.
template <typename T>
pybind11::array OwningArray(Column<T>&& column, const std::vector<pybind11::ssize_t>& extents) {
    struct Held {
        void* block;
        std::size_t bytes;
    };
    auto* held = new Held{column.values, column.size * sizeof(T)};
    pybind11::capsule owner(held, [](void* p) {
        auto* h = static_cast<Held*>(p);
        GiveBackArrayMemory(h->block, h->bytes);
        delete h;
    });
    T* values = std::exchange(column.values, nullptr);
    pybind11::array array = pybind11::array_t<T>(extents, values, owner);
    array.attr("setflags")(pybind11::arg("write") = false);
    return array;
}

// The table as a read-only numpy array of the given shape, which owns it from now on and gives it back as a spare.
inline pybind11::array OwningTableArray(std::vector<double>&& table, const std::vector<pybind11::ssize_t>& extents) {
    auto* held = new std::vector<double>(std::move(table));
    pybind11::capsule owner(held, [](void* p) {
        auto* kept = static_cast<std::vector<double>*>(p);
        GiveBackTable(std::move(*kept));
        delete kept;
    });
    pybind11::array array = pybind11::array_t<double>(extents, held->data(), owner);
    array.attr("setflags")(pybind11::arg("write") = false);
    return array;
}

// A copy of values as a read-only numpy array (small tables: a box, the species).
template <typename T>
pybind11::array ArrayCopy(const std::vector<T>& values, const std::vector<pybind11::ssize_t>& extents) {
    Column<T> column(values.size());
    std::copy(values.begin(), values.end(), column.values);
    return OwningArray(std::move(column), extents);
}
