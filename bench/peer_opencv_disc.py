"""The OpenCV peer as a user would write it: read a PNG, convolve with a normalised disc, write a PNG.

Usage: peer_opencv_disc.py IN.png OUT.png DIAMETER
"""
import sys

import cv2

src, dst, diameter = sys.argv[1], sys.argv[2], int(sys.argv[3])
cv2.setNumThreads(2)
image = cv2.imread(src, cv2.IMREAD_UNCHANGED)
disc = cv2.getStructuringElement(cv2.MORPH_ELLIPSE, (diameter, diameter)).astype("float32")
disc /= disc.sum()
if not cv2.imwrite(dst, cv2.filter2D(image, -1, disc, borderType=cv2.BORDER_REPLICATE)):
    sys.exit(f"cannot write {dst}")
