// SPDX-License-Identifier: Apache-2.0
// The TFLite reader: what it makes of valid models and how it refuses broken ones.
#include "ModelFiles.h"
#include "TinyModels.h"
#include "handpose/MediaPipeHandPose.h"
#include "handpose/TfliteReader.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>

namespace palmcue::handpose::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

Result<ModelGraph> readBytes(const std::vector<std::uint8_t>& bytes) {
    return TfliteReader::read(bytes, "tiny.tflite");
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(ModelReader, ReadsTinyModelAndWidensFloat16Weights) {
    const auto graph = readBytes(tinyConvModel().write());
    ASSERT_TRUE(graph) << graph.error();
    ASSERT_EQ(graph->ops.size(), 2u) << "DEQUANTIZE is folded into a constant";
    EXPECT_EQ(graph->ops[0].kind, OpKind::Conv2D);
    EXPECT_EQ(graph->ops[0].activation, Activation::Relu6);
    EXPECT_EQ(graph->ops[1].kind, OpKind::Add);
    const auto& weights = graph->tensors[graph->ops[0].inputs[1]].constant;
    ASSERT_EQ(weights.size(), 6u);
    EXPECT_FLOAT_EQ(weights[0], 1.5f);
    EXPECT_FLOAT_EQ(weights[1], -2.0f);
    EXPECT_FLOAT_EQ(weights[2], 0.5f);
    EXPECT_FLOAT_EQ(weights[3], 0.25f);
    EXPECT_FLOAT_EQ(weights[4], 5.9604645e-8f); // smallest float16 subnormal
    EXPECT_FLOAT_EQ(weights[5], -1.0f);
}

TEST(ModelReader, ResolvesSamePaddingAndNegativeAxes) {
    const auto graph = readBytes(allOpsModel().write());
    ASSERT_TRUE(graph) << graph.error();
    const GraphOp& depthwise = graph->ops[2];
    ASSERT_EQ(depthwise.kind, OpKind::DepthwiseConv2D);
    // 6 → 3 with a 3×3 window at stride 2: one pixel of padding, all of it after.
    EXPECT_EQ(depthwise.padTop, 0);
    EXPECT_EQ(depthwise.padBottom, 1);
    EXPECT_EQ(depthwise.depthMultiplier, 2);
    const GraphOp& concat = graph->ops[8];
    ASSERT_EQ(concat.kind, OpKind::Concatenation);
    EXPECT_EQ(concat.axis, 1);
}

struct Fault {
    const char* name;
    std::function<void(TinyModelWriter&)> change;
    const char* reason;
};

TEST(ModelReader, RefusesMalformedModelsWithTheReason) {
    const Fault faults[] = {
        {"old schema", [](TinyModelWriter& m) { m.version = 2; }, "schema version 2"},
        {"unknown operator", [](TinyModelWriter& m) { m.ops[2].builtin = kSoftmax; },
         "(SOFTMAX): operator is not supported"},
        {"custom operator",
         [](TinyModelWriter& m) {
             m.ops[2].builtin = kCustom;
             m.ops[2].customCode = "HandMagic";
         },
         "custom operator 'HandMagic'"},
        {"tensor index out of range", [](TinyModelWriter& m) { m.ops[2].inputs[1] = 17; },
         "refer to tensor 17 of 6"},
        {"wrong output shape",
         [](TinyModelWriter& m) {
             m.tensors[5].shape = {1, 4, 4, 2};
         },
         "should have shape [1,4,4,3]"},
        {"short weight buffer", [](TinyModelWriter& m) { m.tensors[1].data.resize(10); },
         "has 10 bytes of data, expected 12"},
        {"operators out of order", [](TinyModelWriter& m) { std::swap(m.ops[1], m.ops[2]); },
         "read before it is computed"},
        {"unsupported activation", [](TinyModelWriter& m) { m.ops[1].options[3].value = 4; },
         "unsupported fused activation 4"},
        {"quantized tensor", [](TinyModelWriter& m) { m.tensors[0].type = 9; },
         "unsupported type 9"},
        {"filter that does not fit",
         [](TinyModelWriter& m) {
             m.tensors[1].shape = {2, 1, 1, 3};
             m.tensors[2].shape = {2, 1, 1, 3};
         },
         "does not fit input"},
        {"zero dimension",
         [](TinyModelWriter& m) {
             m.tensors[0].shape = {1, 0, 4, 2};
         },
         "has dimension 0"},
        {"missing options", [](TinyModelWriter& m) { m.ops[1].optionsType = 0; },
         "options are missing"},
        {"options of another operator", [](TinyModelWriter& m) { m.ops[1].optionsType = 5; },
         "options have type 5, expected 1"},
        {"output never computed", [](TinyModelWriter& m) { m.outputs = {0}; },
         "is not computed by any operator"},
        {"huge tensor",
         [](TinyModelWriter& m) {
             m.tensors[4].shape = {1 << 20, 1 << 20};
         },
         "is too large"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        TinyModelWriter model = tinyConvModel();
        fault.change(model);
        const auto graph = readBytes(model.write());
        EXPECT_FALSE(graph);
        EXPECT_THAT(graph.error(), StartsWith("tiny.tflite: "));
        EXPECT_THAT(graph.error(), HasSubstr(fault.reason));
    }
}

TEST(ModelReader, RefusesBrokenFlatBuffers) {
    const auto good = tinyConvModel().write();
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, "not a TFLite model"});
    cases.push_back({"not a model",
                     {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'},
                     "not a TFLite model"});
    auto rootPastEnd = good;
    rootPastEnd[0] = 0xF0;
    rootPastEnd[1] = 0xFF;
    cases.push_back({"root offset past the end", rootPastEnd, "runs past the end"});
    auto vtableBefore = good;
    const std::uint32_t root = good[0] | good[1] << 8;
    vtableBefore[root] = 0xFF; // soffset pointing far after the table
    vtableBefore[root + 1] = 0xFF;
    vtableBefore[root + 2] = 0xFF;
    vtableBefore[root + 3] = 0x7F;
    cases.push_back({"vtable outside the file", vtableBefore, "points before the file"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto graph = readBytes(c.bytes);
        EXPECT_FALSE(graph);
        EXPECT_THAT(graph.error(), HasSubstr(c.reason));
    }
}

// Every truncation of the tiny model and every single-bit flip of it either reads as a valid
// graph or is refused with a message; neither crashes (the sanitizer builds make sure of it).
TEST(ModelReader, SurvivesEveryTruncationAndBitFlipOfATinyModel) {
    const auto good = tinyConvModel().write();
    for (std::size_t length = 0; length < good.size(); ++length) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + long(length));
        const auto graph = readBytes(cut);
        EXPECT_FALSE(graph) << "length " << length;
        EXPECT_THAT(graph.error(), StartsWith("tiny.tflite: "));
    }
    int refused = 0;
    for (std::size_t bit = 0; bit < good.size() * 8; ++bit) {
        auto flipped = good;
        flipped[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        if (const auto graph = readBytes(flipped); !graph) {
            ++refused;
            EXPECT_THAT(graph.error(), StartsWith("tiny.tflite: ")) << "bit " << bit;
            EXPECT_GT(graph.error().size(), std::string("tiny.tflite: ").size());
        }
    }
    EXPECT_GT(refused, 0);
}

TEST(ModelReader, RefusesDamagedRealModels) {
    PALMCUE_SKIP_WITHOUT_MODELS();
    const std::string path = modelPath(MediaPipeHandPose::kPalmModelFile);
    const auto good = fileBytes(path);
    const auto read = TfliteReader::read(good, path);
    ASSERT_TRUE(read) << read.error();

    for (const std::size_t length :
         {std::size_t(0), std::size_t(7), std::size_t(4096), good.size() / 2, good.size() - 1}) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + long(length));
        const auto graph = TfliteReader::read(cut, path);
        EXPECT_FALSE(graph) << "length " << length;
        EXPECT_THAT(graph.error(), StartsWith(path + ": "));
    }
    // Flips in the structure (the first and last kilobytes hold the tables here) are refused;
    // flips inside weights read fine. Either way the reader returns.
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> anywhere(0, good.size() * 8 - 1);
    for (int i = 0; i < 200; ++i) {
        auto flipped = good;
        const std::size_t bit =
            i < 100 ? anywhere(random) : (good.size() - 1024) * 8 + anywhere(random) % 8192;
        flipped[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        if (const auto graph = TfliteReader::read(flipped, path); !graph) {
            EXPECT_THAT(graph.error(), StartsWith(path + ": ")) << "bit " << bit;
        }
    }
}

TEST(ModelReader, ReportsUnreadableFiles) {
    const auto missing = TfliteReader::readFile("/nonexistent/palm.tflite");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error(), "/nonexistent/palm.tflite: cannot open the model file");
    const auto folder = TfliteReader::readFile("/");
    EXPECT_FALSE(folder);
    EXPECT_THAT(folder.error(), StartsWith("/: "));
}

} // namespace
} // namespace palmcue::handpose::test
