#!/usr/bin/env python3
"""Builds the YOLOv8n-seg network (80 classes, 32 mask coefficients) with
random weights and exports it to ONNX the way a trained model is exported:
batch-norm folded into the convolutions, boxes decoded in the graph.

  images  [1, 3, 640, 640]
  output0 [1, 116, 8400]   cx, cy, w, h (input pixels), 80 class scores, 32 coefficients
  output1 [1, 32, 160, 160] mask prototypes

Layer structure after the published YOLOv8 architecture at the "n" scale
(depth 1/3, width 1/4): Conv = Conv2d + BatchNorm + SiLU; C2f = split, a
chain of bottlenecks, concatenation of every stage; SPPF = three chained
5x5 max-pools; an upsample/concat neck (FPN + PAN); a Segment head with
per-level box (DFL, 16 bins) and class branches, mask-coefficient branches
and a prototype branch. Nothing is trained: the weights are random, so the
network serves for shapes, operator support and speed, not for detections.
"""
import argparse

import torch
from torch import nn

NUM_CLASSES = 80
NUM_COEFFS = 32
REG_MAX = 16
STRIDES = (8, 16, 32)


class Conv(nn.Module):
    def __init__(self, c_in, c_out, k=1, s=1):
        super().__init__()
        self.conv = nn.Conv2d(c_in, c_out, k, s, k // 2, bias=False)
        self.bn = nn.BatchNorm2d(c_out, eps=1e-3, momentum=0.03)
        self.act = nn.SiLU()

    def forward(self, x):
        return self.act(self.bn(self.conv(x)))


class Bottleneck(nn.Module):
    def __init__(self, c, shortcut):
        super().__init__()
        self.cv1 = Conv(c, c, 3)
        self.cv2 = Conv(c, c, 3)
        self.add = shortcut

    def forward(self, x):
        y = self.cv2(self.cv1(x))
        return x + y if self.add else y


class C2f(nn.Module):
    def __init__(self, c_in, c_out, n, shortcut):
        super().__init__()
        self.c = c_out // 2
        self.cv1 = Conv(c_in, 2 * self.c, 1)
        self.cv2 = Conv((2 + n) * self.c, c_out, 1)
        self.m = nn.ModuleList(Bottleneck(self.c, shortcut) for _ in range(n))

    def forward(self, x):
        y = list(self.cv1(x).split((self.c, self.c), 1))
        for m in self.m:
            y.append(m(y[-1]))
        return self.cv2(torch.cat(y, 1))


class SPPF(nn.Module):
    def __init__(self, c_in, c_out):
        super().__init__()
        hidden = c_in // 2
        self.cv1 = Conv(c_in, hidden, 1)
        self.cv2 = Conv(hidden * 4, c_out, 1)
        self.pool = nn.MaxPool2d(5, 1, 2)

    def forward(self, x):
        y = [self.cv1(x)]
        for _ in range(3):
            y.append(self.pool(y[-1]))
        return self.cv2(torch.cat(y, 1))


class Proto(nn.Module):
    def __init__(self, c_in, hidden, c_out):
        super().__init__()
        self.cv1 = Conv(c_in, hidden, 3)
        self.upsample = nn.ConvTranspose2d(hidden, hidden, 2, 2, 0, bias=True)
        self.cv2 = Conv(hidden, hidden, 3)
        self.cv3 = Conv(hidden, c_out, 1)

    def forward(self, x):
        return self.cv3(self.cv2(self.upsample(self.cv1(x))))


def branch(c_in, hidden, c_out):
    return nn.Sequential(Conv(c_in, hidden, 3), Conv(hidden, hidden, 3), nn.Conv2d(hidden, c_out, 1))


class Segment(nn.Module):
    """Detection head with box distributions (DFL) decoded in the graph, plus masks."""

    def __init__(self, channels, input_size):
        super().__init__()
        c_box = max(16, channels[0] // 4, REG_MAX * 4)
        c_cls = max(channels[0], min(NUM_CLASSES, 100))
        c_mask = max(channels[0] // 4, NUM_COEFFS)
        self.cv2 = nn.ModuleList(branch(c, c_box, 4 * REG_MAX) for c in channels)
        self.cv3 = nn.ModuleList(branch(c, c_cls, NUM_CLASSES) for c in channels)
        self.cv4 = nn.ModuleList(branch(c, c_mask, NUM_COEFFS) for c in channels)
        self.proto = Proto(channels[0], channels[0], NUM_COEFFS)
        # Expected value of the 16-bin distance distribution as a fixed 1x1 conv.
        self.dfl = nn.Conv2d(REG_MAX, 1, 1, bias=False).requires_grad_(False)
        self.dfl.weight.data[:] = torch.arange(REG_MAX, dtype=torch.float).view(1, REG_MAX, 1, 1)
        anchors, strides = [], []
        for s in STRIDES:
            cells = input_size // s
            ys, xs = torch.meshgrid(torch.arange(cells) + 0.5, torch.arange(cells) + 0.5, indexing="ij")
            anchors.append(torch.stack((xs, ys), -1).view(-1, 2))
            strides.append(torch.full((cells * cells, 1), float(s)))
        self.register_buffer("anchors", torch.cat(anchors).transpose(0, 1).unsqueeze(0))  # [1, 2, A]
        self.register_buffer("strides", torch.cat(strides).transpose(0, 1))  # [1, A]

    def forward(self, features):
        protos = self.proto(features[0])
        batch = features[0].shape[0]
        coeffs = torch.cat([self.cv4[i](f).view(batch, NUM_COEFFS, -1) for i, f in enumerate(features)], 2)
        raw = torch.cat([torch.cat((self.cv2[i](f), self.cv3[i](f)), 1).view(batch, 4 * REG_MAX + NUM_CLASSES, -1)
                         for i, f in enumerate(features)], 2)
        box, cls = raw.split((4 * REG_MAX, NUM_CLASSES), 1)
        anchors_count = box.shape[2]
        dist = box.view(batch, 4, REG_MAX, anchors_count).transpose(2, 1).softmax(1)
        dist = self.dfl(dist).view(batch, 4, anchors_count)
        left_top, right_bottom = dist.chunk(2, 1)
        x1y1 = self.anchors - left_top
        x2y2 = self.anchors + right_bottom
        boxes = torch.cat(((x1y1 + x2y2) / 2, x2y2 - x1y1), 1) * self.strides
        return torch.cat((boxes, cls.sigmoid(), coeffs), 1), protos


class YOLOv8nSeg(nn.Module):
    def __init__(self, input_size):
        super().__init__()
        self.backbone = nn.ModuleList([
            Conv(3, 16, 3, 2),            # 0  P1/2
            Conv(16, 32, 3, 2),           # 1  P2/4
            C2f(32, 32, 1, True),         # 2
            Conv(32, 64, 3, 2),           # 3  P3/8
            C2f(64, 64, 2, True),         # 4
            Conv(64, 128, 3, 2),          # 5  P4/16
            C2f(128, 128, 2, True),       # 6
            Conv(128, 256, 3, 2),         # 7  P5/32
            C2f(256, 256, 1, True),       # 8
            SPPF(256, 256),               # 9
        ])
        self.up = nn.Upsample(scale_factor=2, mode="nearest")
        self.top_down_p4 = C2f(256 + 128, 128, 1, False)
        self.top_down_p3 = C2f(128 + 64, 64, 1, False)
        self.down_p3 = Conv(64, 64, 3, 2)
        self.bottom_up_p4 = C2f(64 + 128, 128, 1, False)
        self.down_p4 = Conv(128, 128, 3, 2)
        self.bottom_up_p5 = C2f(128 + 256, 256, 1, False)
        self.head = Segment((64, 128, 256), input_size)

    def forward(self, x):
        taps = {}
        for i, layer in enumerate(self.backbone):
            x = layer(x)
            taps[i] = x
        p5 = taps[9]
        n4 = self.top_down_p4(torch.cat((self.up(p5), taps[6]), 1))
        p3 = self.top_down_p3(torch.cat((self.up(n4), taps[4]), 1))
        p4 = self.bottom_up_p4(torch.cat((self.down_p3(p3), n4), 1))
        p5 = self.bottom_up_p5(torch.cat((self.down_p4(p4), p5), 1))
        return self.head([p3, p4, p5])


def randomise_batch_norms(model, generator):
    # Fresh batch-norm layers are the identity; random statistics make the
    # folded convolutions differ from the raw ones, as in a trained network.
    for m in model.modules():
        if isinstance(m, nn.BatchNorm2d):
            m.weight.data = 0.5 + torch.rand(m.num_features, generator=generator)
            m.bias.data = 0.1 * torch.randn(m.num_features, generator=generator)
            m.running_mean = 0.1 * torch.randn(m.num_features, generator=generator)
            m.running_var = 0.5 + torch.rand(m.num_features, generator=generator)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output", help="ONNX file to write")
    parser.add_argument("--size", type=int, default=640, help="square input side, a multiple of 32")
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()
    if args.size <= 0 or args.size % 32:
        parser.error("--size must be a positive multiple of 32")
    generator = torch.manual_seed(args.seed)
    model = YOLOv8nSeg(args.size)
    randomise_batch_norms(model, generator)
    model.eval()
    with torch.no_grad():
        torch.onnx.export(model, torch.zeros(1, 3, args.size, args.size), args.output,
                          input_names=["images"], output_names=["output0", "output1"],
                          opset_version=13, do_constant_folding=True)


if __name__ == "__main__":
    main()
