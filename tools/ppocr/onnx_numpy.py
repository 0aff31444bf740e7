"""A small numpy evaluator for the operators of the PP-OCRv4 models.

It is the reference the fixed models are checked against, and it gives the
fix-up the shape of every intermediate tensor. Any operator or attribute it
does not know raises, so a new model version cannot slip through unchecked.
"""
import numpy as np
from onnx import helper, numpy_helper

DTYPES = {1: np.float32, 6: np.int32, 7: np.int64}


def _attrs(node):
    return {a.name: helper.get_attribute_value(a) for a in node.attribute}


def _pad(x, pads):
    n = len(pads) // 2
    widths = [(0, 0)] * (x.ndim - n) + [(pads[i], pads[i + n]) for i in range(n)]
    return np.pad(x, widths)


def _conv(x, w, b, a):
    groups = a.get("group", 1)
    sh, sw = a.get("strides", [1, 1])
    dh, dw = a.get("dilations", [1, 1])
    kh, kw = w.shape[2], w.shape[3]
    x = _pad(x, a.get("pads", [0, 0, 0, 0]))
    windows = np.lib.stride_tricks.sliding_window_view(
        x, ((kh - 1) * dh + 1, (kw - 1) * dw + 1), axis=(2, 3))
    windows = windows[:, :, ::sh, ::sw, ::dh, ::dw]
    n, c, ho, wo = windows.shape[:4]
    windows = windows.reshape(n, groups, c // groups, ho, wo, kh, kw)
    w = w.reshape(groups, w.shape[0] // groups, w.shape[1], kh, kw)
    y = np.einsum("ngchwij,gocij->ngohw", windows, w, optimize=True)
    y = y.reshape(n, -1, ho, wo)
    if b is not None:
        y = y + b.reshape(1, -1, 1, 1)
    return y.astype(np.float32)


def _conv_transpose(x, w, b, a):
    kh, kw = w.shape[2], w.shape[3]
    if (a.get("group", 1) != 1 or list(a.get("strides")) != [kh, kw]
            or any(a.get("pads", [0])) or any(d != 1 for d in a.get("dilations", [1, 1]))):
        raise NotImplementedError("ConvTranspose other than stride = kernel")
    n, _, h, wd = x.shape
    y = np.einsum("nchw,coab->nohawb", x, w).reshape(n, w.shape[1], h * kh, wd * kw)
    if b is not None:
        y = y + b.reshape(1, -1, 1, 1)
    return y.astype(np.float32)


def _average_pool(x, a):
    if a.get("count_include_pad", 0) or any(a.get("pads", [0])):
        raise NotImplementedError("padded AveragePool")
    kh, kw = a["kernel_shape"]
    sh, sw = a["strides"]
    windows = np.lib.stride_tricks.sliding_window_view(x, (kh, kw), axis=(2, 3))
    return windows[:, :, ::sh, ::sw].mean(axis=(4, 5)).astype(np.float32)


def _resize(x, scales, a):
    if (a.get("mode") != b"nearest" or a.get("coordinate_transformation_mode") != b"asymmetric"
            or a.get("nearest_mode") != b"floor"):
        raise NotImplementedError("Resize other than nearest/asymmetric/floor")
    for axis, scale in enumerate(scales):
        if scale != int(scale):
            raise NotImplementedError("Resize by a fraction")
        x = np.repeat(x, int(scale), axis=axis)
    return x


def _softmax(x, axis):
    if axis < 0:
        axis += x.ndim
    if axis != x.ndim - 1:
        raise NotImplementedError("Softmax on another axis than the last")
    e = np.exp(x - x.max(axis=-1, keepdims=True))
    return (e / e.sum(axis=-1, keepdims=True)).astype(np.float32)


def _slice(x, starts, ends, axes):
    index = [slice(None)] * x.ndim
    for start, end, axis in zip(starts, ends, axes):
        index[axis] = slice(int(start), int(min(end, x.shape[axis])))
    return x[tuple(index)]


def run_node(node, ins):
    op, a = node.op_type, _attrs(node)
    if op == "Constant":
        return numpy_helper.to_array(a["value"])
    if op in ("Add", "Sub", "Mul", "Div", "Pow"):
        f = {"Add": np.add, "Sub": np.subtract, "Mul": np.multiply, "Div": np.divide,
             "Pow": np.power}[op]
        y = f(ins[0], ins[1])
        return y.astype(ins[0].dtype)
    if op == "Sum":
        return sum(ins[1:], ins[0]).astype(ins[0].dtype)
    if op == "Sqrt":
        return np.sqrt(ins[0])
    if op == "Relu":
        return np.maximum(ins[0], 0)
    if op == "Sigmoid":
        return (0.5 * (1 + np.tanh(0.5 * ins[0]))).astype(np.float32)
    if op == "HardSigmoid":
        return np.clip(a.get("alpha", 0.2) * ins[0] + a.get("beta", 0.5), 0, 1).astype(np.float32)
    if op == "Clip":
        low = ins[1] if len(ins) > 1 and ins[1] is not None else a.get("min", -np.inf)
        high = ins[2] if len(ins) > 2 and ins[2] is not None else a.get("max", np.inf)
        return np.clip(ins[0], low, high).astype(ins[0].dtype)
    if op == "Conv":
        return _conv(ins[0], ins[1], ins[2] if len(ins) > 2 else None, a)
    if op == "ConvTranspose":
        return _conv_transpose(ins[0], ins[1], ins[2] if len(ins) > 2 else None, a)
    if op == "BatchNormalization":
        x, scale, bias, mean, var = ins
        shape = (1, -1) + (1,) * (x.ndim - 2)
        y = (x - mean.reshape(shape)) / np.sqrt(var.reshape(shape) + a.get("epsilon", 1e-5))
        return (y * scale.reshape(shape) + bias.reshape(shape)).astype(np.float32)
    if op == "GlobalAveragePool":
        return ins[0].mean(axis=(2, 3), keepdims=True)
    if op == "AveragePool":
        return _average_pool(ins[0], a)
    if op == "Resize":
        return _resize(ins[0], ins[2], a)
    if op == "Concat":
        return np.concatenate(ins, axis=a["axis"])
    if op == "MatMul":
        return np.matmul(ins[0], ins[1]).astype(np.float32)
    if op == "Softmax":
        return _softmax(ins[0], a.get("axis", 1))
    if op == "ReduceMean":
        return ins[0].mean(axis=tuple(a["axes"]), keepdims=bool(a.get("keepdims", 1)))
    if op == "Transpose":
        return np.transpose(ins[0], a["perm"])
    if op == "Reshape":
        shape = [d if d != 0 else ins[0].shape[i] for i, d in enumerate(ins[1].tolist())]
        return ins[0].reshape(shape)
    if op == "Squeeze":
        return np.squeeze(ins[0], axis=tuple(a["axes"]))
    if op == "Shape":
        return np.array(ins[0].shape, dtype=np.int64)
    if op == "Cast":
        return ins[0].astype(DTYPES[a["to"]])
    if op == "Slice":
        if len(ins) > 1:
            return _slice(ins[0], ins[1], ins[2], ins[3])
        return _slice(ins[0], a["starts"], a["ends"], a["axes"])
    raise NotImplementedError(op)


def evaluate(model, feeds, keep_all=False):
    """Runs the graph on feeds ({name: array}); returns the graph's outputs,
    or every value when keep_all is set."""
    values = {t.name: numpy_helper.to_array(t) for t in model.graph.initializer}
    values.update(feeds)
    for node in model.graph.node:
        ins = [values[name] if name else None for name in node.input]
        values[node.output[0]] = run_node(node, ins)
    if keep_all:
        return values
    return {o.name: values[o.name] for o in model.graph.output}
