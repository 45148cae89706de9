// SPDX-License-Identifier: Apache-2.0
// One reader per operator family. Each checks its operator's inputs and options, fills `op`
// (kind, inputs, resolved options) and returns the shape its output must have; the caller checks
// the output against it.
#pragma once

#include "handpose/tflite/OperatorReader.h"

namespace palmcue::handpose::tflite {

// ConvolutionOps.cpp: sliding windows, with SAME/VALID resolved to explicit padding.
std::vector<int> readConvolution(OperatorReader& r, GraphOp& op, bool depthwise);
std::vector<int> readMaxPool(OperatorReader& r, GraphOp& op);

// ElementwiseOps.cpp
std::vector<int> readAdd(OperatorReader& r, GraphOp& op);
std::vector<int> readPrelu(OperatorReader& r, GraphOp& op);
std::vector<int> readLogistic(OperatorReader& r, GraphOp& op);
// DEQUANTIZE is not an operator of the graph: it widens a float16 constant into its float32
// output once, here.
void readDequantize(OperatorReader& r, int out);

// ShapeOps.cpp
std::vector<int> readPad(OperatorReader& r, GraphOp& op);
std::vector<int> readResizeBilinear(OperatorReader& r, GraphOp& op);
std::vector<int> readReshape(OperatorReader& r, GraphOp& op);
std::vector<int> readConcatenation(OperatorReader& r, GraphOp& op);

// ReductionOps.cpp
std::vector<int> readMean(OperatorReader& r, GraphOp& op);
std::vector<int> readFullyConnected(OperatorReader& r, GraphOp& op);

} // namespace palmcue::handpose::tflite
