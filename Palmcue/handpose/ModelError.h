// SPDX-License-Identifier: Apache-2.0
// The fault found in a model file. Thrown only inside the reader and the importer, and turned
// into a message at their boundary: nothing outside handpose/ sees it.
#pragma once

#include <stdexcept>
#include <string>

namespace palmcue::handpose {

class ModelError : public std::runtime_error {
public:
    explicit ModelError(const std::string& what) : std::runtime_error(what) {}
};

} // namespace palmcue::handpose
