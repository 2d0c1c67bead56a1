#pragma once
// A growing array of plain values for the column store, kept in one block from malloc and grown
// with realloc. A large block lives in its own mapping, which the system grows by moving page
// tables, not bytes: the old and the new block are never both resident, so a million-row column
// that doubles its room does not briefly need its own size again (std::vector copies).
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

template <typename T> class DbColumnBuffer {
    static_assert(std::is_trivially_copyable_v<T>, "the block is moved by realloc");

public:
    DbColumnBuffer() = default;
    ~DbColumnBuffer() { std::free(FData); }
    DbColumnBuffer(const DbColumnBuffer &other) { Append(other.FData, other.FSize); }
    DbColumnBuffer &operator=(const DbColumnBuffer &other) {
        if (this != &other) {
            FSize = 0;
            Append(other.FData, other.FSize);
        }
        return *this;
    }
    DbColumnBuffer(DbColumnBuffer &&other) noexcept
        : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)),
          FCapacity(std::exchange(other.FCapacity, 0)) {}
    DbColumnBuffer &operator=(DbColumnBuffer &&other) noexcept {
        std::swap(FData, other.FData);
        std::swap(FSize, other.FSize);
        std::swap(FCapacity, other.FCapacity);
        return *this;
    }

    std::size_t size() const { return FSize; }
    std::size_t capacity() const { return FCapacity; }
    bool empty() const { return FSize == 0; }
    const T *data() const { return FData; }
    const T &operator[](std::size_t i) const { return FData[i]; }
    T &operator[](std::size_t i) { return FData[i]; }
    const T &back() const { return FData[FSize - 1]; }

    void reserve(std::size_t count) {
        if (count > FCapacity)
            Grow(count);
    }
    void push_back(T value) {
        if (FSize == FCapacity)
            Grow(FSize + 1);
        FData[FSize++] = value;
    }
    void Append(const T *values, std::size_t count) {
        if (count == 0)
            return;
        if (FSize + count > FCapacity)
            Grow(FSize + count);
        std::memcpy(FData + FSize, values, count * sizeof(T));
        FSize += count;
    }

    // Room for `count` more values at the end, written through the pointer returned; Truncate
    // then sets how many of them were written.
    T *AppendUninitialized(std::size_t count) {
        if (FSize + count > FCapacity)
            Grow(FSize + count);
        T *at = FData + FSize;
        FSize += count;
        return at;
    }
    void Truncate(std::size_t size) {
        if (size < FSize)
            FSize = size;
    }

private:
    // Doubles the room (at least to `needed`): appends stay amortised constant, and the room
    // not yet written costs address space, not memory.
    void Grow(std::size_t needed) {
        std::size_t capacity = FCapacity < 16 ? 16 : FCapacity * 2;
        if (capacity < needed)
            capacity = needed;
        if (capacity > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        void *grown = std::realloc(FData, capacity * sizeof(T));
        if (!grown)
            throw std::bad_alloc();
        FData = static_cast<T *>(grown);
        FCapacity = capacity;
    }

    T *FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};
