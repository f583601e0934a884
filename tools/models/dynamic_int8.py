"""Rewrites the convolutions of a float ONNX graph the way dynamic int8
quantisers write them, so that test networks come in the form of int8 exports."""
import numpy as np
from onnx import TensorProto, helper, numpy_helper


def power_of_two_scale(weight):
    """Keeps every weight exact: for networks whose answer must not move."""
    return 2.0 ** np.ceil(np.log2(np.abs(weight).max() / 127.0))


def symmetric_scale(weight):
    """What quantisers choose: the largest weight becomes 127, the others round."""
    return np.abs(weight).max() / 127.0 or 1.0


def quantize_dynamically(model, weight_scale):
    """Every Conv with constant weights: the input is quantised at run time
    (DynamicQuantizeLinear), the weights are stored as int8, ConvInteger
    multiplies, the product is rescaled and the bias, if any, added."""
    graph = model.graph
    inits = {i.name: numpy_helper.to_array(i) for i in graph.initializer}
    nodes = []
    for n in graph.node:
        if n.op_type != "Conv" or n.input[1] not in inits:
            nodes.append(n)
            continue
        weight = inits.pop(n.input[1])
        scale = weight_scale(weight)
        q = n.output[0] + "_q"
        inits.update({
            q + "_w": np.round(weight / scale).astype(np.int8),
            q + "_w_zero": np.array(0, np.int8),
            q + "_w_scale": np.array(scale, np.float32),
        })
        attrs = {a.name: helper.get_attribute_value(a) for a in n.attribute}
        scaled = q + "_scaled" if len(n.input) > 2 else n.output[0]
        nodes += [
            helper.make_node("DynamicQuantizeLinear", [n.input[0]], [q + "_x", q + "_x_scale", q + "_x_zero"]),
            helper.make_node("Mul", [q + "_x_scale", q + "_w_scale"], [q + "_scale"]),
            helper.make_node("ConvInteger", [q + "_x", q + "_w", q + "_x_zero", q + "_w_zero"],
                             [q + "_int"], **attrs),
            helper.make_node("Cast", [q + "_int"], [q + "_float"], to=TensorProto.FLOAT),
            helper.make_node("Mul", [q + "_float", q + "_scale"], [scaled]),
        ]
        if len(n.input) > 2:
            inits[q + "_bias_shape"] = np.array([1, -1, 1, 1], np.int64)
            nodes += [
                helper.make_node("Reshape", [n.input[2], q + "_bias_shape"], [q + "_bias"]),
                helper.make_node("Add", [scaled, q + "_bias"], [n.output[0]]),
            ]
    del graph.initializer[:]
    graph.initializer.extend(numpy_helper.from_array(v, k) for k, v in inits.items())
    del graph.node[:]
    graph.node.extend(nodes)
    return model
