#!/usr/bin/env python3
"""Writes a small ONNX network with the YOLOv8-seg input and output signature
whose answer is known exactly, for tests, benchmarks and demos.

It finds solid patches of pure red, green, blue, yellow, magenta and cyan
(classes 0 to 5; one patch per colour) and reports them the way an exported
YOLOv8-seg does:
  images  [1, 3, S, S]      RGB scaled to 0..1
  output0 [1, 42, A]        per anchor: cx, cy, w, h (input pixels), 6 class
                            scores, 32 mask coefficients; A = (S / 8)^2
                            (--transposed: [1, A, 42])
  output1 [1, 32, S/4, S/4] mask prototypes
A pixel is of a colour when each channel is within 10 % of the colour's full
or empty value (fully only at exactly full or empty): red is not also yellow or magenta, and greys, white, black and
browns are no colour at all. Every anchor cell fully inside a patch scores 1
and carries the patch's exact box; the coefficients select the prototype that is the patch's colour map.
Only convolutions, pooling, concatenation, element-wise Mul/Div and Reshape
are used so that OpenCV 4.5/4.6 DNN runs the graph. With --as-exported the
same network is written the way exporters and quantisers deliver models
(dynamic int8, opset 17, a broadcast stride row, open output shapes), which
OpenCV cannot load until tools/prepare_model.py has rewritten it.
"""
import argparse

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

from dynamic_int8 import power_of_two_scale, quantize_dynamically

# Channels full (1) or empty (0), in the input's RGB order; index = class.
COLOURS = np.array([(1, 0, 0), (0, 1, 0), (0, 0, 1), (1, 1, 0), (1, 0, 1), (0, 1, 1)], dtype=np.float32)
NUM_CLASSES = len(COLOURS)
PURE_MARGIN = 0.1  # a channel within this of 1 (or 0) counts, fully only at 1 (or 0)
NUM_MASK_COEFFS = 32
ANCHOR_STRIDE = 8
PROTO_STRIDE = 4
PROTO_LOGIT_GAIN = 20.0  # colour fraction 0..1 -> logit -10..+10


def build(size, transposed, as_exported):
    nodes, inits = [], []
    # Exporters since opset 14 write Reshape's "allowzero"; OpenCV 4.6 knows opset 13.
    reshape_attrs = {"allowzero": 0} if as_exported else {}

    def const(name, array):
        inits.append(numpy_helper.from_array(np.asarray(array, dtype=np.float32), name))
        return name

    def node(op, inputs, output, **attrs):
        nodes.append(helper.make_node(op, inputs, [output], name=output, **attrs))
        return output

    def conv1x1(x, name, weight, bias):
        w = np.asarray(weight, dtype=np.float32)
        return node("Conv", [x, const(name + "_w", w.reshape(w.shape[0], w.shape[1], 1, 1)),
                             const(name + "_b", bias)], name, kernel_shape=[1, 1])

    # Per channel "full" = relu((x - 0.9) / 0.1) and "empty" = relu((0.1 - x) / 0.1),
    # 1 on a full or empty channel, 0 on anything not within 0.1 of it.
    ramp_w = np.vstack([np.eye(3), -np.eye(3)]) / PURE_MARGIN  # full R, G, B, empty R, G, B
    ramp_b = np.concatenate([np.full(3, 1 - 1 / PURE_MARGIN), np.ones(3)])
    ramps = node("Relu", [conv1x1("images", "channel_ramps", ramp_w, ramp_b)], "channel_ramps_relu")
    # Colour indicator = relu(sum of the three memberships it needs - 2): 1 when
    # all three hold, 0 when any fails.
    membership = np.hstack([COLOURS, 1 - COLOURS])  # [classes, 6]
    indicator = node("Relu", [conv1x1(ramps, "colour", membership, np.full(NUM_CLASSES, -2.0))], "indicator")

    # Class score of an anchor = fraction of its cell covered by the colour.
    score = node("AveragePool", [indicator], "score",
                 kernel_shape=[ANCHOR_STRIDE] * 2, strides=[ANCHOR_STRIDE] * 2)

    # Patch extents per colour from column and row profiles times coordinate ramps:
    # max((x + 1) * present) is the right edge, max((S - x) * present) is S - left edge.
    cols = node("MaxPool", [indicator], "cols", kernel_shape=[size, 1], strides=[1, 1])
    rows = node("MaxPool", [indicator], "rows", kernel_shape=[1, size], strides=[1, 1])
    ramp_end = np.arange(1, size + 1, dtype=np.float32)
    ramp_start = size - np.arange(size, dtype=np.float32)
    coord_ramps = np.repeat(np.stack([ramp_end, ramp_start]), NUM_CLASSES, axis=0)  # [2 classes, S]
    x_ext = node("Mul", [node("Concat", [cols, cols], "cols2", axis=1),
                         const("ramp_x", coord_ramps.reshape(1, -1, 1, size))], "x_ext")
    y_ext = node("Mul", [node("Concat", [rows, rows], "rows2", axis=1),
                         const("ramp_y", coord_ramps.reshape(1, -1, size, 1))], "y_ext")
    extents = node("Concat", [node("GlobalMaxPool", [x_ext], "x_max"),
                              node("GlobalMaxPool", [y_ext], "y_max")], "extents", axis=1)
    # extents channels: x2[c], S-x1[c], y2[c], S-y1[c]  ->  cx[c], cy[c], w[c], h[c]
    n = NUM_CLASSES
    to_box = np.zeros((4 * n, 4 * n))
    to_box_bias = np.zeros(4 * n)
    for c in range(n):
        for axis in range(2):  # 0: x, 1: y
            end, start_rev = 2 * n * axis + c, 2 * n * axis + n + c
            centre, extent = n * axis + c, 2 * n + n * axis + c
            to_box[centre, end], to_box[centre, start_rev], to_box_bias[centre] = 0.5, -0.5, size / 2
            to_box[extent, end], to_box[extent, start_rev], to_box_bias[extent] = 1.0, 1.0, -size
    class_boxes = conv1x1(extents, "class_boxes", to_box, to_box_bias)  # [1, 4 classes, 1, 1]

    # Anchor box = score-weighted mean of the class boxes: exact for any cell that
    # touches one colour only, whatever its coverage.
    score4 = node("Concat", [score] * 4, "score4", axis=1)
    weighted = node("Mul", [score4, class_boxes], "weighted")
    sum_per_coord = np.kron(np.eye(4), np.ones((1, NUM_CLASSES)))  # [4, 4 classes]
    numerator = conv1x1(weighted, "box_num", sum_per_coord, np.zeros(4))
    denominator = conv1x1(score, "box_den", np.ones((4, NUM_CLASSES)), np.full(4, 1e-6))
    box = node("Div", [numerator, denominator], "box")

    coeff_w = np.zeros((NUM_MASK_COEFFS, NUM_CLASSES))
    coeff_w[:NUM_CLASSES] = np.eye(NUM_CLASSES)
    coeffs = conv1x1(score, "coeffs", coeff_w, np.zeros(NUM_MASK_COEFFS))

    # Flatten each part to [1, C, anchors] and join them, as YOLOv8's head does.
    anchors = (size // ANCHOR_STRIDE) ** 2
    channels = 4 + NUM_CLASSES + NUM_MASK_COEFFS

    def flatten(x, c):
        shape = x + "_flat_shape"
        inits.append(numpy_helper.from_array(np.array([1, c, anchors], np.int64), shape))
        return node("Reshape", [x, shape], x + "_flat", **reshape_attrs)

    box_flat = flatten(box, 4)
    if as_exported:
        # Distances in stride units, then scaled by a [1, anchors] stride row:
        # the broadcast along the last axis that OpenCV 4.6 cannot do.
        stride_row = np.full((1, anchors), float(ANCHOR_STRIDE))
        box_flat = node("Mul", [box_flat, const("inverse_strides", 1.0 / stride_row)], "box_units")
        box_flat = node("Mul", [box_flat, const("strides", stride_row)], "box_pixels")
    parts = [box_flat, flatten(score, NUM_CLASSES), flatten(coeffs, NUM_MASK_COEFFS)]
    out0_shape = [1, channels, anchors]
    if transposed:
        out0_shape = [1, anchors, channels]
        node("Transpose", [node("Concat", parts, "head", axis=1)], "output0", perm=[0, 2, 1])
    else:
        node("Concat", parts, "output0", axis=1)

    proto_w = np.zeros((NUM_MASK_COEFFS, NUM_CLASSES))
    proto_w[:NUM_CLASSES] = PROTO_LOGIT_GAIN * np.eye(NUM_CLASSES)
    proto_b = np.zeros(NUM_MASK_COEFFS)
    proto_b[:NUM_CLASSES] = -PROTO_LOGIT_GAIN / 2
    proto_in = node("AveragePool", [indicator], "proto_in",
                    kernel_shape=[PROTO_STRIDE] * 2, strides=[PROTO_STRIDE] * 2)
    conv1x1(proto_in, "output1", proto_w, proto_b)

    proto_side = size // PROTO_STRIDE
    graph = helper.make_graph(
        nodes, "colour_patch_seg",
        [helper.make_tensor_value_info("images", TensorProto.FLOAT, [1, 3, size, size])],
        # Exports often leave the output shapes open, which OpenCV 4.6 needs.
        [helper.make_tensor_value_info("output0", TensorProto.FLOAT,
                                       ["batch", "d1", "d2"] if as_exported else out0_shape),
         helper.make_tensor_value_info("output1", TensorProto.FLOAT,
                                       ["batch", "d1", "d2", "d3"] if as_exported else
                                       [1, NUM_MASK_COEFFS, proto_side, proto_side])],
        inits)
    model = helper.make_model(graph, opset_imports=[helper.make_opsetid("", 17 if as_exported else 13)],
                              producer_name="make_test_model")
    if as_exported:
        model = quantize_dynamically(model, power_of_two_scale)
    onnx.checker.check_model(model)
    return model


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="ONNX file to write")
    parser.add_argument("--size", type=int, default=640, help="square network input side")
    parser.add_argument("--transposed", action="store_true",
                        help="write output0 as [1, anchors, 42] instead of [1, 42, anchors]")
    parser.add_argument("--as-exported", action="store_true",
                        help="write it as exporters and quantisers deliver models (see above)")
    args = parser.parse_args()
    if args.size <= 0 or args.size % ANCHOR_STRIDE:
        parser.error("--size must be a positive multiple of %d" % ANCHOR_STRIDE)
    onnx.save(build(args.size, args.transposed, args.as_exported), args.output)


if __name__ == "__main__":
    main()
