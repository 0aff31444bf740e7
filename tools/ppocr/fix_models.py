"""Rewrites the PP-OCRv4 detection and recognition models into forms that
OpenCV 4.6's DNN module loads and runs correctly, and checks each rewritten
model against the original on the numpy evaluator.

    fix_models.py SOURCE_DIR OUT_DIR

The output is the same bytes for the same input: nothing random, no time.
"""
import os
import sys

import numpy as np
import onnx
from onnx import helper, numpy_helper

import onnx_numpy

DET = "ch_PP-OCRv4_det_infer.onnx"
REC = "ch_PP-OCRv4_rec_infer.onnx"
# The recogniser is traced at this width; a second width tells which folded
# numbers depend on it (the sequence length T = width / 8).
REC_WIDTH, REC_OTHER_WIDTH = 320, 160
TOLERANCE = 6e-4


def constants(graph):
    values = {t.name: numpy_helper.to_array(t) for t in graph.initializer}
    for node in graph.node:
        if node.op_type == "Constant":
            values[node.output[0]] = numpy_helper.to_array(node.attribute[0].t)
    return values


def rebuild(model, nodes, initializers, inputs=None):
    graph = helper.make_graph(nodes, model.graph.name, inputs or list(model.graph.input),
                              list(model.graph.output),
                              [numpy_helper.from_array(v, k) for k, v in initializers])
    fixed = helper.make_model(graph, opset_imports=list(model.opset_import),
                              producer_name="quillmate-fix-models")
    fixed.ir_version = model.ir_version
    return fixed


def used_constants(nodes, values):
    used, seen = [], set()
    for node in nodes:
        for name in node.input:
            if name in values and name not in seen:
                seen.add(name)
                used.append((name, values[name]))
    return used


def split_depthwise(nodes, values, model):
    """Depthwise 5x5 convolutions become the sum of four 3x3 ones, each with
    the taps of one corner of the 5x5 kernel: OpenCV 4.6 runs 3x3 depthwise
    convolutions on a fast path and 5x5 ones an order of magnitude slower
    per tap (the recogniser spends a third of its time in them)."""
    out, split = [], 0
    for node in nodes:
        attrs = {a.name: helper.get_attribute_value(a) for a in node.attribute}
        w = values.get(node.input[1]) if node.op_type == "Conv" else None
        if (w is None or w.shape[1:] != (1, 5, 5) or attrs.get("group") != w.shape[0]
                or list(attrs.get("pads", [])) != [2, 2, 2, 2]
                or any(d != 1 for d in attrs.get("dilations", [1, 1]))):
            out.append(node)
            continue
        name = node.name or node.output[0]
        parts = []
        for top in (0, 2):
            for left in (0, 2):
                # Rows top..top+2 and columns left..left+2; the middle row
                # and column belong to the first corner that reaches them.
                rows = slice(top + (top > 0), top + 3)
                columns = slice(left + (left > 0), left + 3)
                kernel = np.zeros((w.shape[0], 1, 3, 3), np.float32)
                kernel[:, :, rows.start - top:, columns.start - left:] = w[:, :, rows, columns]
                part = f"{name}.{top}{left}"
                values[part + ".w"] = kernel
                inputs = [node.input[0], part + ".w"]
                if top == 0 and left == 0 and len(node.input) > 2:
                    inputs.append(node.input[2])
                out.append(helper.make_node(
                    "Conv", inputs, [part], name=part, group=attrs["group"], kernel_shape=[3, 3],
                    strides=list(attrs.get("strides", [1, 1])),
                    pads=[2 - top, 2 - left, top, left]))
                parts.append(part)
        out.append(helper.make_node("Sum", parts, list(node.output), name=name))
        split += 1
    if split != 8:
        raise SystemExit(f"{model} model: {split} depthwise 5x5 convolutions, expected 8")
    return out


def fix_detection(model):
    """Clip with min and max as inputs (opset 11) becomes Clip with
    attributes, which is all OpenCV 4.6 reads."""
    values = constants(model.graph)
    nodes, clips = [], 0
    for node in model.graph.node:
        if node.op_type == "Constant":
            continue
        if node.op_type == "Clip" and len(node.input) == 3:
            low, high = (float(values[name]) for name in node.input[1:])
            node = helper.make_node("Clip", [node.input[0]], list(node.output), name=node.name,
                                    min=low, max=high)
            clips += 1
        nodes.append(node)
    if clips != 24:
        raise SystemExit(f"detection model: {clips} Clip nodes with three inputs, expected 24")
    nodes = split_depthwise(nodes, values, "detection")
    return rebuild(model, nodes, used_constants(nodes, values))


def rec_input(width):
    return np.random.default_rng(7).standard_normal((1, 3, 48, width)).astype(np.float32)


def width_dependent(a, b, name):
    """Positions of a folded shape that change with the input width; -1 there."""
    if a.shape != b.shape:
        raise SystemExit(f"recognition model: {name} changes rank with the width")
    patched = a.copy()
    patched[a != b] = -1
    if (patched == -1).sum() > 1:
        raise SystemExit(f"recognition model: {name} has two unknown dimensions")
    return patched


def fix_recognition(model):
    values = constants(model.graph)
    traced = onnx_numpy.evaluate(model, {"x": rec_input(REC_WIDTH)}, keep_all=True)
    other = onnx_numpy.evaluate(model, {"x": rec_input(REC_OTHER_WIDTH)}, keep_all=True)

    # Shape arithmetic becomes constants of the traced width.
    folded = dict(values)
    kept = []
    for node in model.graph.node:
        if node.op_type == "Constant":
            continue
        if node.op_type == "Shape" or all(name in folded for name in node.input):
            folded[node.output[0]] = traced[node.output[0]]
            continue
        kept.append(node)

    nodes, counts = [], {"transposed": 0, "mean": 0, "squeeze": 0, "reshape": 0}
    extra = {}
    for node in kept:
        name = node.name or node.output[0]
        if node.op_type == "Reshape":
            target = node.input[1]
            patched = width_dependent(np.asarray(traced[target]), np.asarray(other[target]), target)
            extra[target + ".fixed"] = patched.astype(np.int64)
            node = helper.make_node("Reshape", [node.input[0], target + ".fixed"],
                                    list(node.output), name=name)
            counts["reshape"] += 1
        elif node.op_type in ("Mul", "Add") and any(
                i in folded and np.asarray(folded[i]).ndim == 1 and folded[i].size > 1
                for i in node.input):
            # OpenCV turns Mul(x[1,T,C], c[C]) into a Scale layer broadcasting
            # from axis 1: run it on [1,C,T] with c as [C,1] instead.
            x, c = (node.input if node.input[1] in folded else node.input[::-1])
            if traced[x].ndim != 3 or traced[x].shape[-1] != folded[c].size:
                raise SystemExit(f"recognition model: unexpected broadcast in {name}")
            extra[c + ".column"] = folded[c].reshape(-1, 1)
            nodes.append(helper.make_node("Transpose", [x], [name + ".in"], perm=[0, 2, 1]))
            nodes.append(helper.make_node(node.op_type, [name + ".in", c + ".column"],
                                          [name + ".out"], name=name))
            node = helper.make_node("Transpose", [name + ".out"], list(node.output),
                                    perm=[0, 2, 1])
            counts["transposed"] += 1
        elif node.op_type == "ReduceMean":
            attrs = {a.name: helper.get_attribute_value(a) for a in node.attribute}
            x = node.input[0]
            if list(attrs["axes"]) not in ([-1], [traced[x].ndim - 1]) or not attrs.get(
                    "keepdims", 1):
                raise SystemExit(f"recognition model: unexpected {name}")
            size = traced[x].shape[-1]
            extra[name + ".mean"] = np.full((size, 1), 1.0 / size, dtype=np.float32)
            node = helper.make_node("MatMul", [x, name + ".mean"], list(node.output), name=name)
            counts["mean"] += 1
        elif node.op_type == "Squeeze":
            out = node.output[0]
            shape = width_dependent(np.array(traced[out].shape), np.array(other[out].shape), out)
            extra[name + ".shape"] = shape.astype(np.int64)
            node = helper.make_node("Reshape", [node.input[0], name + ".shape"], [out], name=name)
            counts["squeeze"] += 1
        nodes.append(node)
    if counts["transposed"] != 19:
        raise SystemExit(f"recognition model: {counts['transposed']} last-axis constants, "
                         "expected 19")

    initializers = dict(folded)
    initializers.update(extra)
    nodes = split_depthwise(nodes, initializers, "recognition")
    x = model.graph.input[0]
    fixed_input = helper.make_tensor_value_info(x.name, x.type.tensor_type.elem_type,
                                                [1, 3, 48, REC_WIDTH])
    return rebuild(model, nodes, used_constants(nodes, initializers), [fixed_input])


def det_input(height, width):
    """Rows of random dark blots on white, normalised as the engine does: the
    detector finds text in it, so a model answering zeros cannot pass."""
    rng = np.random.default_rng(height * 1000 + width)
    page = np.ones((height, width), np.float32)
    for top in range(8, height - 16, 24):
        x = 8
        while x < width - 20:
            glyph_width = int(rng.integers(8, 13))
            page[top:top + 12, x:x + glyph_width][rng.random((12, glyph_width)) < 0.35] = 0.1
            x += glyph_width + int(rng.integers(2, 4)) + (10 if rng.random() < 0.15 else 0)
    mean = np.array([0.485, 0.456, 0.406], np.float32).reshape(1, 3, 1, 1)
    std = np.array([0.229, 0.224, 0.225], np.float32).reshape(1, 3, 1, 1)
    return ((np.stack([page] * 3)[None] - mean) / std).astype(np.float32)


def check(name, original, fixed, feeds):
    for feed in feeds:
        want = list(onnx_numpy.evaluate(original, feed).values())[0]
        got = list(onnx_numpy.evaluate(fixed, feed).values())[0]
        worst = float(np.abs(want - got).max())
        if want.shape != got.shape or worst > TOLERANCE:
            raise SystemExit(f"{name}: the fixed model differs by {worst}")


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    det = onnx.load(os.path.join(source, DET))
    rec = onnx.load(os.path.join(source, REC))
    fixed_det = fix_detection(det)
    fixed_rec = fix_recognition(rec)
    onnx.checker.check_model(fixed_rec)
    check(DET, det, fixed_det, [{"x": det_input(64, 96)}])
    check(REC, rec, fixed_rec, [{"x": rec_input(REC_OTHER_WIDTH)}])
    onnx.save(fixed_det, os.path.join(out, DET))
    onnx.save(fixed_rec, os.path.join(out, REC))


if __name__ == "__main__":
    main()
