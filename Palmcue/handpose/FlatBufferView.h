// SPDX-License-Identifier: Apache-2.0
// Bounds-checked access to a FlatBuffers binary without generated code. Every offset, vtable,
// length and field is checked against the buffer before it is read, so a truncated or hostile
// file raises ModelError instead of reading outside the buffer.
#pragma once

#include "handpose/ModelError.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>

namespace palmcue::handpose {

class FlatBufferView {
public:
    struct Table {
        std::uint64_t pos = 0;
        std::uint64_t vtable = 0;
        std::uint32_t vtableSize = 0;
        std::uint32_t tableSize = 0;
    };
    struct Vector {
        std::uint64_t first = 0; // position of element 0
        std::uint32_t length = 0;
        std::uint32_t elementSize = 0;
    };

    explicit FlatBufferView(std::span<const std::uint8_t> data) : data_(data) {}

    Table root() const;

    // A scalar field, or `fallback` when the field is absent.
    template <typename T> T scalar(const Table& table, int field, T fallback) const {
        static_assert(std::is_arithmetic_v<T>);
        const std::uint64_t pos = fieldPos(table, field, sizeof(T));
        return pos ? read<T>(pos) : fallback;
    }
    bool has(const Table& table, int field) const { return fieldPos(table, field, 1) != 0; }
    // A sub-table, a vector or a string; absent fields give false / an empty result.
    bool table(const Table& parent, int field, Table& out) const;
    Vector vector(const Table& parent, int field, std::uint32_t elementSize) const;
    std::string string(const Table& parent, int field) const;

    template <typename T> T element(const Vector& vector, std::uint32_t index) const {
        static_assert(std::is_arithmetic_v<T>);
        checkElement(vector, index, sizeof(T));
        return read<T>(vector.first + std::uint64_t(index) * sizeof(T));
    }
    Table tableElement(const Vector& vector, std::uint32_t index) const;
    // The bytes of a [ubyte] vector.
    std::span<const std::uint8_t> bytes(const Vector& vector) const {
        return data_.subspan(vector.first, vector.length);
    }
    std::span<const std::uint8_t> data() const { return data_; }

private:
    template <typename T> T read(std::uint64_t pos) const {
        require(pos, sizeof(T), "value");
        T value;
        std::memcpy(&value, data_.data() + pos, sizeof(T));
        return value;
    }
    void require(std::uint64_t pos, std::uint64_t size, const char* what) const;
    Table tableAt(std::uint64_t pos) const;
    std::uint64_t fieldPos(const Table& table, int field, std::uint32_t size) const;
    std::uint64_t indirect(std::uint64_t pos) const;
    void checkElement(const Vector& vector, std::uint32_t index, std::uint32_t size) const;

    std::span<const std::uint8_t> data_;
};

} // namespace palmcue::handpose
