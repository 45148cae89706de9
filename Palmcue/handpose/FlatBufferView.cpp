// SPDX-License-Identifier: Apache-2.0
#include "handpose/FlatBufferView.h"

namespace palmcue::handpose {

void FlatBufferView::require(std::uint64_t pos, std::uint64_t size, const char* what) const {
    if (pos > data_.size() || size > data_.size() - pos)
        throw ModelError(std::string(what) + " at byte " + std::to_string(pos) +
                         " runs past the end of the file (" + std::to_string(data_.size()) +
                         " bytes)");
}

FlatBufferView::Table FlatBufferView::root() const {
    require(0, 8, "root offset");
    return tableAt(read<std::uint32_t>(0));
}

FlatBufferView::Table FlatBufferView::tableAt(std::uint64_t pos) const {
    require(pos, 4, "table");
    const std::int64_t vtable = std::int64_t(pos) - read<std::int32_t>(pos);
    if (vtable < 0)
        throw ModelError("table at byte " + std::to_string(pos) + " points before the file");
    Table table;
    table.pos = pos;
    table.vtable = std::uint64_t(vtable);
    require(table.vtable, 4, "vtable");
    table.vtableSize = read<std::uint16_t>(table.vtable);
    table.tableSize = read<std::uint16_t>(table.vtable + 2);
    if (table.vtableSize < 4 || table.vtableSize % 2 != 0)
        throw ModelError("vtable at byte " + std::to_string(table.vtable) + " has a bad size " +
                         std::to_string(table.vtableSize));
    require(table.vtable, table.vtableSize, "vtable");
    if (table.tableSize < 4)
        throw ModelError("table at byte " + std::to_string(pos) + " is too small");
    require(pos, table.tableSize, "table");
    return table;
}

std::uint64_t FlatBufferView::fieldPos(const Table& table, int field, std::uint32_t size) const {
    const std::uint32_t slot = 4 + 2 * std::uint32_t(field);
    if (slot + 2 > table.vtableSize)
        return 0;
    const std::uint16_t offset = read<std::uint16_t>(table.vtable + slot);
    if (offset == 0)
        return 0;
    if (offset < 4 || std::uint32_t(offset) + size > table.tableSize)
        throw ModelError("field " + std::to_string(field) + " of the table at byte " +
                         std::to_string(table.pos) + " lies outside the table");
    return table.pos + offset;
}

std::uint64_t FlatBufferView::indirect(std::uint64_t pos) const {
    const std::uint64_t target = pos + read<std::uint32_t>(pos);
    require(target, 4, "referenced object");
    return target;
}

bool FlatBufferView::table(const Table& parent, int field, Table& out) const {
    const std::uint64_t pos = fieldPos(parent, field, 4);
    if (!pos)
        return false;
    out = tableAt(indirect(pos));
    return true;
}

FlatBufferView::Vector FlatBufferView::vector(const Table& parent, int field,
                                              std::uint32_t elementSize) const {
    const std::uint64_t pos = fieldPos(parent, field, 4);
    if (!pos)
        return {};
    const std::uint64_t start = indirect(pos);
    Vector vector;
    vector.length = read<std::uint32_t>(start);
    vector.first = start + 4;
    vector.elementSize = elementSize;
    require(vector.first, std::uint64_t(vector.length) * elementSize, "vector");
    return vector;
}

std::string FlatBufferView::string(const Table& parent, int field) const {
    const Vector chars = vector(parent, field, 1);
    const auto span = bytes(chars);
    return std::string(reinterpret_cast<const char*>(span.data()), span.size());
}

void FlatBufferView::checkElement(const Vector& vector, std::uint32_t index,
                                  std::uint32_t size) const {
    if (index >= vector.length || size != vector.elementSize)
        throw ModelError("vector index " + std::to_string(index) + " out of range (length " +
                         std::to_string(vector.length) + ")");
}

FlatBufferView::Table FlatBufferView::tableElement(const Vector& vector,
                                                   std::uint32_t index) const {
    checkElement(vector, index, 4);
    return tableAt(indirect(vector.first + std::uint64_t(index) * 4));
}

} // namespace palmcue::handpose
