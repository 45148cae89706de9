// A tiny black BGRA picture.
#pragma once

#include "engine/Services.h"

namespace palmcue::test {

class FakePixelBuffer : public PixelBuffer {
public:
    std::optional<ImageView> bgra(std::vector<std::uint8_t>& scratch, std::string&) const override {
        scratch.assign(4 * 4 * 4, 0);
        return ImageView{scratch.data(), 4, 4, 16};
    }
};

} // namespace palmcue::test
