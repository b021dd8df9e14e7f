# Reads a cut file back with readers of its own and prints one line per shape, y upwards in
# millimetres:
#   layer LAYERNAME                      (DXF layers; SVG top-level group ids)
#   circle LAYER PIECE X Y R            (PIECE: 1-based from the SVG group, 0 from a DXF)
#   slot LAYER PIECE X0 X1 Y R
#   outline LAYER PIECE X Y X Y ...
#   text LAYER PIECE TEXT
# An SVG is read with xml.etree, a DXF with ezdxf.
import re
import sys

path = sys.argv[1]


def fmt(v):
    return "%.4f" % v


if path.endswith(".dxf"):
    import ezdxf

    doc = ezdxf.readfile(path)
    for layer in doc.layers:
        print("layer", layer.dxf.name)
    for e in doc.modelspace():
        kind, layer = e.dxftype(), e.dxf.layer
        if kind == "CIRCLE":
            print("circle", layer, 0, fmt(e.dxf.center.x), fmt(e.dxf.center.y), fmt(e.dxf.radius))
        elif kind == "LWPOLYLINE":
            pts = list(e.get_points("xyb"))
            if any(abs(b) > 0 for _, _, b in pts):  # a slot: two half circles
                xs = sorted(set(round(x, 4) for x, _, _ in pts))
                ys = [y for _, y, _ in pts]
                r = (max(ys) - min(ys)) / 2
                print("slot", layer, 0, fmt(xs[0]), fmt(xs[-1]), fmt(min(ys) + r), fmt(r))
            else:
                print("outline", layer, 0, " ".join(fmt(x) + " " + fmt(y) for x, y, _ in pts))
        elif kind == "TEXT":
            print("text", layer, 0, e.dxf.text)
else:
    import xml.etree.ElementTree as ET

    ns = "{http://www.w3.org/2000/svg}"
    root = ET.parse(path).getroot()
    height = float(root.get("viewBox").split()[3])
    for group in root.findall(ns + "g"):
        layer = group.get("id")
        print("layer", layer)
        for piece_group in group.findall(ns + "g"):
            piece = int(piece_group.get("id").rsplit("-", 1)[1])
            for e in piece_group:
                tag = e.tag[len(ns):]
                if tag == "circle":
                    print("circle", layer, piece, fmt(float(e.get("cx"))),
                          fmt(height - float(e.get("cy"))), fmt(float(e.get("r"))))
                elif tag == "path":
                    d = e.get("d")
                    nums = [float(v) for v in re.findall(r"-?[0-9.]+", d)]
                    if "A" in d:  # M x0 top L x1 top A r r 0 0 1 x1 bottom ...
                        x0, top, x1, r = nums[0], nums[1], nums[2], nums[4]
                        print("slot", layer, piece, fmt(x0), fmt(x1), fmt(height - top - r), fmt(r))
                    else:
                        pts = zip(nums[0::2], nums[1::2])
                        print("outline", layer, piece,
                              " ".join(fmt(x) + " " + fmt(height - y) for x, y in pts))
                elif tag == "text":
                    print("text", layer, piece, e.text)
