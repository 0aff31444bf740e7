"""Writes inputs and the numpy evaluator's outputs of the original models,
for the engine's test that runs the fixed models in OpenCV.

    reference.py SOURCE_DIR OUT_DIR

OUT_DIR/reference.txt lists one tensor a line, "MODEL NAME D0 D1 ...", the
data is NAME.f32 (float32, little-endian, row-major). The detection sizes
come in one run on purpose: OpenCV once answered a second size with zeros.
"""
import os
import sys

import numpy as np
import onnx

import onnx_numpy
from fix_models import DET, REC, det_input, rec_input

DET_SIZES = [(96, 160), (64, 96)]
REC_WIDTHS = [320, 160, 88]


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    lines = []

    def write(model, name, array):
        array = np.ascontiguousarray(array, dtype="<f4")
        array.tofile(os.path.join(out, name + ".f32"))
        lines.append(" ".join([model, name] + [str(d) for d in array.shape]))

    det = onnx.load(os.path.join(source, DET))
    for height, width in DET_SIZES:
        x = det_input(height, width)
        y = list(onnx_numpy.evaluate(det, {"x": x}).values())[0]
        write("det", f"det_{height}x{width}_in", x)
        write("det", f"det_{height}x{width}_out", y)
    rec = onnx.load(os.path.join(source, REC))
    for width in REC_WIDTHS:
        x = rec_input(width)
        y = list(onnx_numpy.evaluate(rec, {"x": x}).values())[0]
        write("rec", f"rec_{width}_in", x)
        write("rec", f"rec_{width}_out", y)
    with open(os.path.join(out, "reference.txt"), "w", encoding="ascii") as listing:
        listing.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
