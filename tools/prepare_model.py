#!/usr/bin/env python3
"""Rewrites a YOLOv8-seg ONNX export into a graph that OpenCV 4.5/4.6 DNN runs.

OpenCV's ONNX importer of those releases rejects or mis-reads several things
that current exporters write; this tool removes them without changing what
the network computes:
  - int8 graphs: dynamically quantised convolutions and matrix products
    (DynamicQuantizeLinear + ConvInteger/MatMulInteger) and QDQ pairs become
    float32 operations again;
  - computations on constants (Shape of static tensors, index arithmetic,
    dequantised weights, reshaped biases) are evaluated here;
  - Split becomes one Slice per output (opset 13 passes the sizes as an input,
    which OpenCV 4.6 ignores);
  - batch norms and constant bias additions are folded into their convolution;
  - constants of element-wise operations are tiled to the full output shape
    (OpenCV cannot broadcast e.g. [1, 4, A] * [1, A]);
  - the box-distance (DFL) projection after the 16-bin softmax gets back its
    exact weights 0..15, which int8 rounds;
  - every graph output gets its static shape;
  - the graph is declared opset 13 and IR 7 (Reshape loses "allowzero").
The input must have a static shape (export with a fixed image size).

usage: prepare_model.py EXPORT.onnx PREPARED.onnx
"""
import argparse
import sys

# A python3 other than the system's does not see Debian's modules: one line
# naming the package and the interpreter, not a traceback.
try:
    import numpy as np
    import onnx
    from onnx import helper, numpy_helper, shape_inference, version_converter
except ImportError as e:
    if e.name not in ("numpy", "onnx"):
        raise
    sys.exit("prepare_model: %s has no module %s: install the Debian package python3-%s "
             "and run this with /usr/bin/python3" % (sys.executable, e.name, e.name))

TARGET_OPSET = 13
TARGET_IR = 7  # the IR that came with opset 13; onnx 1.12 checks nothing past IR 8
REG_MAX = 16  # bins of YOLOv8's box-distance distribution
ELEMENTWISE = {"Add", "Sub", "Mul", "Div"}


class PrepareError(Exception):
    pass


def attr(node, name, default=None):
    for a in node.attribute:
        if a.name == name:
            return helper.get_attribute_value(a)
    return default


class Graph:
    """The model's graph with constants held as numpy arrays."""

    def __init__(self, model):
        self.model = model
        self.graph = model.graph
        self.consts = {i.name: numpy_helper.to_array(i) for i in self.graph.initializer}
        del self.graph.initializer[:]
        self.nodes = list(self.graph.node)
        self.counter = 0

    def fresh(self, stem):
        self.counter += 1
        return "%s__prep%d" % (stem, self.counter)

    def add_const(self, stem, array):
        name = self.fresh(stem)
        self.consts[name] = np.asarray(array)
        return name

    def producers(self):
        return {out: n for n in self.nodes for out in n.output}

    def consumers(self):
        users = {}
        for n in self.nodes:
            for i in n.input:
                users.setdefault(i, []).append(n)
        return users

    def outputs(self):
        return {o.name for o in self.graph.output}

    def rename_input(self, old, new):
        for n in self.nodes:
            for k, name in enumerate(n.input):
                if name == old:
                    n.input[k] = new

    def shapes(self):
        """Static shapes of every tensor that shape inference can tell."""
        model = self.to_model(with_value_info=False)
        inferred = shape_inference.infer_shapes(model)
        shapes = {}
        for vi in list(inferred.graph.value_info) + list(inferred.graph.input) + list(inferred.graph.output):
            dims = vi.type.tensor_type.shape.dim
            if vi.type.tensor_type.HasField("shape") and all(d.HasField("dim_value") for d in dims):
                shapes[vi.name] = [d.dim_value for d in dims]
        for name, value in self.consts.items():
            shapes[name] = list(value.shape)
        return shapes

    def remove_dead(self):
        needed = set(self.outputs())
        kept = []
        for n in reversed(self.nodes):
            if any(o in needed for o in n.output):
                kept.append(n)
                needed.update(i for i in n.input if i)
        self.nodes = kept[::-1]
        self.consts = {k: v for k, v in self.consts.items() if k in needed}

    def to_model(self, with_value_info=True):
        graph = self.graph
        del graph.node[:]
        graph.node.extend(self.nodes)
        del graph.initializer[:]
        graph.initializer.extend(numpy_helper.from_array(v, k) for k, v in self.consts.items())
        if not with_value_info:
            del graph.value_info[:]
        return self.model


# --- constant evaluation ------------------------------------------------------

def _slice(data, starts, ends, axes=None, strides=None):
    axes = range(len(starts)) if axes is None else axes
    strides = [1] * len(starts) if strides is None else strides
    index = [slice(None)] * data.ndim
    for s, e, a, st in zip(starts, ends, axes, strides):
        index[int(a)] = slice(int(s), int(e), int(st))
    return data[tuple(index)]


def _dequantize(node, x, scale, zero=None):
    axis = attr(node, "axis", 1)
    zero = np.zeros_like(x) if zero is None else zero
    if scale.ndim == 1 and scale.size > 1:
        shape = [1] * x.ndim
        shape[axis] = -1
        scale, zero = scale.reshape(shape), zero.reshape(shape)
    return ((x.astype(np.int32) - zero.astype(np.int32)) * scale).astype(np.float32)


def _reshape(data, shape):
    shape = [data.shape[i] if s == 0 else s for i, s in enumerate(shape)]
    return data.reshape(shape)


EVALUATORS = {
    "Identity": lambda n, x: x,
    "Add": lambda n, a, b: a + b,
    "Sub": lambda n, a, b: a - b,
    "Mul": lambda n, a, b: a * b,
    "Div": lambda n, a, b: np.trunc(a / b).astype(a.dtype) if np.issubdtype(a.dtype, np.integer) else a / b,
    "Sqrt": lambda n, x: np.sqrt(x),
    "Floor": lambda n, x: np.floor(x),
    "Neg": lambda n, x: -x,
    "Equal": lambda n, a, b: np.equal(a, b),
    "Where": lambda n, c, a, b: np.where(c, a, b),
    "Cast": lambda n, x: x.astype(onnx.mapping.TENSOR_TYPE_TO_NP_TYPE[attr(n, "to")]),
    "Concat": lambda n, *xs: np.concatenate(xs, axis=attr(n, "axis")),
    "Gather": lambda n, x, i: np.take(x, i, axis=attr(n, "axis", 0)),
    "Unsqueeze": lambda n, x, axes=None: np.expand_dims(
        x, tuple(int(a) for a in (axes if axes is not None else attr(n, "axes")))),
    "Squeeze": lambda n, x, axes=None: np.squeeze(
        x, tuple(int(a) for a in (axes if axes is not None else attr(n, "axes", []))) or None),
    "Reshape": lambda n, x, s: _reshape(x, s),
    "Transpose": lambda n, x: np.transpose(x, attr(n, "perm")),
    "Slice": lambda n, x, *args: _slice(x, *args),
    "Range": lambda n, s, l, d: np.arange(s, l, d, dtype=s.dtype),
    "ConstantOfShape": lambda n, s: np.full(
        tuple(s), numpy_helper.to_array(attr(n, "value")) if attr(n, "value") is not None else np.float32(0)),
    "Expand": lambda n, x, s: x * np.ones(tuple(s), dtype=x.dtype),
    "DequantizeLinear": _dequantize,
}


def constant_value(node):
    for a in node.attribute:
        value = helper.get_attribute_value(a)
        if a.name == "value":
            return numpy_helper.to_array(value)
        if a.name in ("value_float", "value_floats"):
            return np.array(value, np.float32)
        if a.name in ("value_int", "value_ints"):
            return np.array(value, np.int64)
    return None  # sparse or string constants stay as they are


def fold_constants(g):
    """Evaluates every node whose inputs are all known; Shape of static tensors too."""
    changed = True
    while changed:
        changed = False
        shapes = None
        kept = []
        for n in g.nodes:
            value = None
            if n.op_type == "Constant":
                value = constant_value(n)
            elif n.op_type == "Shape":
                shapes = g.shapes() if shapes is None else shapes
                if n.input[0] in shapes:
                    value = np.array(shapes[n.input[0]], dtype=np.int64)
            elif n.op_type in EVALUATORS and all(i in g.consts for i in n.input if i):
                args = [g.consts[i] if i else None for i in n.input]
                while args and args[-1] is None:
                    args.pop()
                try:
                    value = EVALUATORS[n.op_type](n, *args)
                except (ValueError, TypeError, IndexError, KeyError):
                    value = None  # a form this evaluator lacks: the node stays
            if value is None or len(n.output) != 1:
                kept.append(n)
                continue
            g.consts[n.output[0]] = np.asarray(value)
            changed = True
        g.nodes = kept


# --- de-quantisation ------------------------------------------------------------

def dequantize(g):
    producers, users = g.producers(), g.consumers()
    kept = []
    for n in g.nodes:
        if n.op_type == "DequantizeLinear" and n.input[0] in producers \
                and producers[n.input[0]].op_type == "QuantizeLinear":
            # QDQ pair on an activation: the float tensor goes straight through.
            n = helper.make_node("Identity", [producers[n.input[0]].input[0]], [n.output[0]], name=n.name)
        elif n.op_type in ("ConvInteger", "MatMulInteger"):
            n = float_from_integer_op(g, n, producers, users)
        kept.append(n)
    g.nodes = kept


def float_from_integer_op(g, node, producers, users):
    """ConvInteger(q(x), Wq) -> Cast -> Mul(x_scale * w_scale)  ==>  Conv(x, W)."""
    quant = producers.get(node.input[0])
    if quant is None or quant.op_type != "DynamicQuantizeLinear":
        raise PrepareError("%s %s: input is not dynamically quantised" % (node.op_type, node.name))
    weight_q = g.consts.get(node.input[1])
    if weight_q is None:
        raise PrepareError("%s %s: weights are not constant" % (node.op_type, node.name))
    weight_zero = g.consts.get(node.input[3]) if len(node.input) > 3 and node.input[3] else None
    cast = single_user(users, node.output[0], "Cast", node)
    rescale = single_user(users, cast.output[0], "Mul", node)
    scale_name = rescale.input[1] if rescale.input[0] == cast.output[0] else rescale.input[0]
    scale_mul = producers.get(scale_name)
    if scale_mul is None or scale_mul.op_type != "Mul":
        raise PrepareError("%s %s: no input-scale x weight-scale product" % (node.op_type, node.name))
    weight_scale_name = [i for i in scale_mul.input if i != quant.output[1]]
    if len(weight_scale_name) != 1 or weight_scale_name[0] not in g.consts:
        raise PrepareError("%s %s: weight scale is not constant" % (node.op_type, node.name))
    weight_scale = g.consts[weight_scale_name[0]].astype(np.float32)
    weight_zero = np.zeros(1, np.int32) if weight_zero is None else weight_zero.astype(np.int32)
    if node.op_type == "ConvInteger":
        per_channel = (-1, 1, 1, 1)
        weight = (weight_q.astype(np.int32) - weight_zero.reshape(per_channel if weight_zero.size > 1 else -1)) \
            * weight_scale.reshape(per_channel if weight_scale.size > 1 else -1)
        attrs = {a.name: helper.get_attribute_value(a) for a in node.attribute}
        new = helper.make_node("Conv", [quant.input[0], g.add_const(node.name + "_w", weight.astype(np.float32))],
                               [rescale.output[0]], name=node.name, **attrs)
    else:
        weight = (weight_q.astype(np.int32) - weight_zero) * weight_scale
        new = helper.make_node("MatMul", [quant.input[0], g.add_const(node.name + "_w", weight.astype(np.float32))],
                               [rescale.output[0]], name=node.name)
    # Cast and rescale now compute nothing anybody reads; dead-node removal drops them.
    cast.output[0] = g.fresh("unused")
    rescale.output[0] = g.fresh("unused")
    return new


def single_user(users, tensor, op_type, origin):
    found = users.get(tensor, [])
    if len(found) != 1 or found[0].op_type != op_type:
        raise PrepareError("%s %s: expected one %s after it" % (origin.op_type, origin.name, op_type))
    return found[0]


# --- rewrites for OpenCV's importer ---------------------------------------------

def split_to_slices(g):
    shapes = g.shapes()
    kept = []
    for n in g.nodes:
        if n.op_type != "Split":
            kept.append(n)
            continue
        axis = attr(n, "axis", 0)
        if len(n.input) > 1 and n.input[1]:
            if n.input[1] not in g.consts:
                raise PrepareError("Split %s: split sizes are not constant" % n.name)
            sizes = [int(s) for s in g.consts[n.input[1]]]
        elif attr(n, "split") is not None:
            sizes = list(attr(n, "split"))
        else:
            # Equal parts; since opset 18 ("num_outputs") the last may be smaller.
            if n.input[0] not in shapes:
                raise PrepareError("Split %s: input shape unknown" % n.name)
            total, parts = shapes[n.input[0]][axis], len(n.output)
            part = -(-total // parts)
            sizes = [part] * (parts - 1) + [total - part * (parts - 1)]
        start = 0
        for out, size in zip(n.output, sizes):
            kept.append(helper.make_node(
                "Slice", [n.input[0], g.add_const("starts", np.array([start], np.int64)),
                          g.add_const("ends", np.array([start + size], np.int64)),
                          g.add_const("axes", np.array([axis], np.int64))],
                [out], name=g.fresh(n.name or "split")))
            start += size
    g.nodes = kept


def fold_into_convolutions(g):
    """Batch norms and constant per-channel additions after a Conv join its bias."""
    changed = True
    while changed:
        changed = False
        users, outputs = g.consumers(), g.outputs()
        for conv in g.nodes:
            if conv.op_type != "Conv" or conv.input[1] not in g.consts:
                continue
            after = users.get(conv.output[0], [])
            if len(after) != 1 or conv.output[0] in outputs:
                continue
            nxt = after[0]
            weight = g.consts[conv.input[1]]
            channels = weight.shape[0]
            bias = g.consts[conv.input[2]] if len(conv.input) > 2 and conv.input[2] else np.zeros(channels, np.float32)
            if nxt.op_type == "BatchNormalization" and all(i in g.consts for i in nxt.input[1:5]):
                scale, shift, mean, var = (g.consts[i] for i in nxt.input[1:5])
                factor = scale / np.sqrt(var + attr(nxt, "epsilon", 1e-5))
                weight = weight * factor.reshape(-1, 1, 1, 1)
                bias = (bias - mean) * factor + shift
            elif nxt.op_type == "Add":
                other = nxt.input[1] if nxt.input[0] == conv.output[0] else nxt.input[0]
                addend = g.consts.get(other)
                # Only [1, C, 1, 1]-like addends are per channel: a [C] one
                # broadcasts along the last axis.
                if addend is None or addend.ndim > 4 or (
                        addend.size != 1 and [1] * (4 - addend.ndim) + list(addend.shape) != [1, channels, 1, 1]):
                    continue
                bias = bias + addend.reshape(-1)
            else:
                continue
            del conv.input[1:]
            conv.input.extend([g.add_const("weight", weight.astype(np.float32)),
                               g.add_const("bias", bias.astype(np.float32))])
            conv.output[0] = nxt.output[0]
            g.nodes.remove(nxt)
            changed = True
            break


def tile_broadcast_constants(g):
    shapes = g.shapes()
    for n in g.nodes:
        if n.op_type not in ELEMENTWISE or len(n.input) != 2:
            continue
        out_shape = shapes.get(n.output[0])
        for k, name in enumerate(n.input):
            value = g.consts.get(name)
            if value is None or value.size == 1 or out_shape is None:
                continue
            padded = [1] * (len(out_shape) - value.ndim) + list(value.shape)
            channel_wise = len(out_shape) == 4 and padded[0] == 1 and padded[2:] == [1, 1]
            if padded == list(out_shape) or channel_wise:
                continue
            n.input[k] = g.add_const(name + "_tiled", np.broadcast_to(value, out_shape).copy())


def to_opset_13(model):
    opset = next((o for o in model.opset_import if o.domain in ("", "ai.onnx")), None)
    if opset is None:
        raise PrepareError("model has no default-domain opset")
    if opset.version < TARGET_OPSET:
        model = version_converter.convert_version(model, TARGET_OPSET)
    else:
        # Newer exports: the only later addition YOLOv8 graphs use is Reshape's
        # allowzero (Split's num_outputs goes with the Split itself).
        for n in model.graph.node:
            if n.op_type == "Reshape":
                if attr(n, "allowzero", 0):
                    raise PrepareError("Reshape %s uses allowzero=1, which opset 13 lacks" % n.name)
                for a in list(n.attribute):
                    if a.name == "allowzero":
                        n.attribute.remove(a)
        others = [helper.make_opsetid(o.domain, o.version) for o in model.opset_import
                  if o.domain not in ("", "ai.onnx")]
        del model.opset_import[:]
        model.opset_import.extend(others + [helper.make_opsetid("", TARGET_OPSET)])
    model.ir_version = TARGET_IR
    return model


def restore_box_projection(g):
    """The DFL projection turns each 16-bin softmax into an expected distance
    with the fixed weights 0..15; int8 rounds them (14 comes back as 14.06),
    which moves box edges by pixels. Found by its shape and by the softmax over
    its channels that feeds it, whatever the exporter named it."""
    producers = g.producers()
    exact = np.arange(REG_MAX, dtype=np.float32).reshape(1, REG_MAX, 1, 1)
    for n in g.nodes:
        weight = g.consts.get(n.input[1]) if n.op_type == "Conv" else None
        # Rounding moves a weight by far less than half a bin: anything else is
        # another projection.
        if weight is None or weight.shape != exact.shape or np.abs(weight - exact).max() >= 0.5:
            continue
        source = producers.get(n.input[0])
        while source is not None and source.op_type == "Identity":  # a removed QDQ pair
            source = producers.get(source.input[0])
        if source is not None and source.op_type == "Softmax" and attr(source, "axis", -1) in (1, -3):
            n.input[1] = g.add_const(n.name + "_dfl", exact)


def set_output_shapes(g):
    shapes = g.shapes()
    for out in g.graph.output:
        if out.name not in shapes:
            raise PrepareError("shape of output %s cannot be inferred; export with a fixed input size"
                               % out.name)
        dims = out.type.tensor_type.shape
        dims.Clear()
        for d in shapes[out.name]:
            dims.dim.add().dim_value = d


def check_static_input(model):
    for graph_input in model.graph.input:
        dims = graph_input.type.tensor_type.shape.dim
        if not all(d.HasField("dim_value") for d in dims):
            raise PrepareError("input %s has no static shape; export with a fixed image size" % graph_input.name)


def check_result(model):
    try:
        onnx.checker.check_model(model)
    except onnx.checker.ValidationError as e:
        raise PrepareError("onnx %s rejects the rewritten graph (opset %d, IR %d): %s"
                           % (onnx.__version__, TARGET_OPSET, TARGET_IR, e))


REWRITES = [
    ("folding constants", fold_constants),
    ("dequantising", dequantize),
    ("removing unused nodes", Graph.remove_dead),
    ("folding dequantised constants", fold_constants),
    ("restoring the box-distance projection", restore_box_projection),
    ("splitting Split into Slices", split_to_slices),
    ("folding batch norms and biases into convolutions", fold_into_convolutions),
    ("tiling broadcast constants", tile_broadcast_constants),
    ("removing unused nodes", Graph.remove_dead),
    ("setting output shapes", set_output_shapes),
]


def step(name, function, *args):
    """Runs one step; whatever goes wrong is reported under the step's name."""
    try:
        return function(*args)
    except PrepareError as e:
        raise PrepareError("%s failed: %s" % (name, e)) from e
    except Exception as e:  # onnx and numpy errors: their own words, with their kind
        raise PrepareError("%s failed: %s: %s" % (name, type(e).__name__, e)) from e


def prepare(model):
    step("checking the input shape", check_static_input, model)
    model = step("declaring opset %d and IR %d" % (TARGET_OPSET, TARGET_IR), to_opset_13, model)
    g = step("reading the weights", Graph, model)
    for name, rewrite in REWRITES:
        step(name, rewrite, g)
    model = step("writing the graph back", g.to_model, False)
    step("checking the result", check_result, model)
    return model


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source", help="ONNX export of a YOLOv8-seg model")
    parser.add_argument("target", help="ONNX file to write")
    args = parser.parse_args()
    try:
        source = onnx.load(args.source)
    except Exception as e:  # missing file, not protobuf: the loader's own words
        sys.exit("prepare_model: cannot read %s: %s" % (args.source, e))
    try:
        model = prepare(source)
    except PrepareError as e:
        sys.exit("prepare_model: %s: %s" % (args.source, e))
    try:
        onnx.save(model, args.target)
    except (OSError, ValueError) as e:
        sys.exit("prepare_model: cannot write %s: %s" % (args.target, e))
    ops = sorted({n.op_type for n in model.graph.node})
    print("prepare_model: wrote %s (%d nodes: %s)" % (args.target, len(model.graph.node), ", ".join(ops)))


if __name__ == "__main__":
    main()
