#!/usr/bin/env python3
"""Writes a small YOLOv8-seg network the way current int8 exports come: IR 9,
opset 20, convolutions quantised dynamically with the quantisers' own scales,
int8 weights behind DequantizeLinear, Split with "num_outputs", Reshape with
"allowzero". OpenCV loads it only after tools/prepare_model.py.

  images  [1, 3, 640, 640]   RGB scaled to 0..1
  output0 [1, 37, 400]       cx, cy, w, h, one class score, 32 mask coefficients
  output1 [1, 32, 160, 160]  mask prototypes

Its boxes come out of a real box-distance (DFL) head: every anchor's four
16-bin distributions are fixed, two equal bins per side, so the box edges lie
DISTANCES stride units from the anchor. Exact DFL weights 0..15 give them
exactly; the int8-rounded ones miss them by 1.1 to 1.6 px (the bins are those
that int8 rounds most). The anchor of a white STRIDE-sized cell scores ~1, the
others ~0; the mask is the white cell.
"""
import argparse

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

from dynamic_int8 import quantize_dynamically, symmetric_scale

SIZE = 640
STRIDE = 32
REG_MAX = 16
NUM_MASK_COEFFS = 32
PROTO_STRIDE = 4
# left, top, right, bottom: two bins each, whose int8 errors share their sign
BINS = ((1, 3), (5, 7), (12, 14), (8, 10))
DISTANCES = [sum(pair) / 2 for pair in BINS]
BIN_LOGIT = 30.0  # the other bins get e^-30 of the mass: nothing in float
WHITE_LOGIT_GAIN = 20.0  # channel mean 0..1 -> logit -10..+10


def build():
    nodes, inits = [], []
    cells = SIZE // STRIDE
    anchors = cells * cells

    def const(name, array, dtype=np.float32):
        inits.append(numpy_helper.from_array(np.asarray(array, dtype=dtype), name))
        return name

    def node(op, inputs, output, **attrs):
        nodes.append(helper.make_node(op, inputs, [output], name=output, **attrs))
        return output

    def conv1x1(x, name, weight, bias=None):
        w = np.asarray(weight, dtype=np.float32)
        inputs = [x, const(name + "_w", w.reshape(w.shape[0], w.shape[1], 1, 1))]
        return node("Conv", inputs + ([const(name + "_b", bias)] if bias is not None else []), name,
                    kernel_shape=[1, 1])

    def flatten(x, channels):
        shape = const(x + "_flat_shape", [1, channels, -1], np.int64)
        return node("Reshape", [x, shape], x + "_flat", allowzero=0)

    white = np.full((1, 3), WHITE_LOGIT_GAIN / 3)
    cell = node("AveragePool", ["images"], "cell", kernel_shape=[STRIDE] * 2, strides=[STRIDE] * 2)

    # Box branch: constant logits, so every anchor carries the same distributions.
    logits = np.zeros((4, REG_MAX))
    for side, pair in enumerate(BINS):
        logits[side, list(pair)] = BIN_LOGIT
    box_logits = conv1x1(cell, "box_logits", np.zeros((4 * REG_MAX, 3)), logits.reshape(-1))
    dist = node("Reshape", [box_logits, const("dist_shape", [1, 4, REG_MAX, anchors], np.int64)],
                "dist", allowzero=0)
    probs = node("Softmax", [node("Transpose", [dist], "dist_t", perm=[0, 2, 1, 3])], "probs", axis=1)
    dfl = conv1x1(probs, "dfl", np.arange(REG_MAX).reshape(1, REG_MAX))
    sides = node("Reshape", [dfl, const("sides_shape", [1, 4, anchors], np.int64)], "sides", allowzero=0)
    nodes.append(helper.make_node("Split", [sides], ["left_top", "right_bottom"], name="split_sides",
                                  axis=1, num_outputs=2))
    ys, xs = np.mgrid[0:cells, 0:cells] + 0.5
    centres = const("anchors", np.stack([xs.reshape(-1), ys.reshape(-1)])[None])
    x1y1 = node("Sub", [centres, "left_top"], "x1y1")
    x2y2 = node("Add", [centres, "right_bottom"], "x2y2")
    mid = node("Div", [node("Add", [x1y1, x2y2], "corner_sum"), const("two", 2.0)], "mid")
    extent = node("Sub", [x2y2, x1y1], "extent")
    box = node("Mul", [node("Concat", [mid, extent], "box_units", axis=1),
                       const("strides", np.full((1, anchors), float(STRIDE)))], "box")

    score = node("Sigmoid", [conv1x1(cell, "class_logit", white, [-WHITE_LOGIT_GAIN / 2])], "score")
    coeff_bias = np.zeros(NUM_MASK_COEFFS)
    coeff_bias[0] = 1.0
    coeffs = conv1x1(cell, "coeffs", np.zeros((NUM_MASK_COEFFS, 3)), coeff_bias)
    node("Concat", [box, flatten(score, 1), flatten(coeffs, NUM_MASK_COEFFS)], "output0", axis=1)

    # Prototype 0 is the white map; its weights stay int8 behind DequantizeLinear.
    proto_w = np.zeros((NUM_MASK_COEFFS, 3, 1, 1), np.float32)
    proto_w[0, :, 0, 0] = white
    proto_scale = np.ones(NUM_MASK_COEFFS, np.float32)
    proto_scale[0] = symmetric_scale(white)
    proto_in = node("AveragePool", ["images"], "proto_in",
                    kernel_shape=[PROTO_STRIDE] * 2, strides=[PROTO_STRIDE] * 2)
    proto_weight = node("DequantizeLinear", [
        const("proto_w_q", np.round(proto_w / proto_scale.reshape(-1, 1, 1, 1)), np.int8),
        const("proto_w_scale", proto_scale), const("proto_w_zero", np.zeros(NUM_MASK_COEFFS), np.int8)],
        "proto_w", axis=0)
    node("Conv", [proto_in, proto_weight, const("proto_b", np.full(NUM_MASK_COEFFS, -WHITE_LOGIT_GAIN / 2))],
         "output1", kernel_shape=[1, 1])

    proto_side = SIZE // PROTO_STRIDE
    graph = helper.make_graph(
        nodes, "int8_box",
        [helper.make_tensor_value_info("images", TensorProto.FLOAT, [1, 3, SIZE, SIZE])],
        [helper.make_tensor_value_info("output0", TensorProto.FLOAT, [1, 4 + 1 + NUM_MASK_COEFFS, anchors]),
         helper.make_tensor_value_info("output1", TensorProto.FLOAT,
                                       [1, NUM_MASK_COEFFS, proto_side, proto_side])],
        inits)
    model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 20)],
                              producer_name="make_int8_box_model")
    # Newer than Debian's onnx checks; prepare_model.py lowers it.
    model.ir_version = 9
    return quantize_dynamically(model, symmetric_scale)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="ONNX file to write")
    args = parser.parse_args()
    onnx.save(build(), args.output)


if __name__ == "__main__":
    main()
