"""Checks a grid written as a Cloud-Optimized GeoTIFF: GDAL's validator finds
no fault, the layout notes behind the header say how it is laid out, and
every overview cell is the nearest cell (integers: the block's
top-left one) or the average of the grid cells of its block that hold a value
(floats; no-data for a block without any). Prints the overviews' sizes."""
import struct
import sys

import numpy
from osgeo import gdal
from osgeo_utils.samples import validate_cloud_optimized_geotiff as validator

gdal.UseExceptions()
grid = gdal.Open(sys.argv[1])
warnings, errors, _ = validator.validate(grid, full_check=True)
if warnings or errors:
    sys.exit("not cloud optimized: %s" % (warnings + errors))
with open(sys.argv[1], "rb") as file:
    whole = file.read()
notes = whole[16 if whole[2] == 43 else 8:]
if not notes.startswith(b"GDAL_STRUCTURAL_METADATA_SIZE=") or b"LAYOUT=IFDS_BEFORE_DATA\n" not in notes:
    sys.exit("no layout notes")
# Classic TIFF: every directory's tile offsets and sizes before the first tile.
arrays, tiles = [], []
directory = struct.unpack("<I", whole[4:8])[0]
while directory:
    (entries,) = struct.unpack("<H", whole[directory:directory + 2])
    for entry in range(entries):
        tag, kind, count, value = struct.unpack("<HHII", whole[directory + 2 + 12 * entry:directory + 14 + 12 * entry])
        if tag in (324, 325) and count > 1:
            arrays.append(value)
        if tag == 324:
            tiles += [value] if count == 1 else list(struct.unpack("<%dI" % count, whole[value:value + 4 * count]))
    directory = struct.unpack("<I", whole[directory + 2 + 12 * entries:directory + 6 + 12 * entries])[0]
if arrays and max(arrays) > min(tiles):
    sys.exit("tile offsets and sizes come after tiles")
band = grid.GetRasterBand(1)
cells = band.ReadAsArray()
no_data = band.GetNoDataValue()
sizes = []
for level in range(band.GetOverviewCount()):
    overview = band.GetOverview(level).ReadAsArray()
    block = 2 ** (level + 1)
    if cells.dtype.kind == "i":
        expected = cells[::block, ::block]
    else:
        expected = numpy.empty(overview.shape, numpy.float32)
        for row, column in numpy.ndindex(overview.shape):
            values = cells[row * block:(row + 1) * block, column * block:(column + 1) * block]
            values = values[values != no_data].astype(numpy.float64)
            expected[row, column] = values.mean() if values.size else no_data
    if overview.shape != expected.shape or not (overview == expected).all():
        sys.exit("overview %d holds other cells" % level)
    sizes.append("%dx%d" % (overview.shape[1], overview.shape[0]))
print(" ".join(sizes))
