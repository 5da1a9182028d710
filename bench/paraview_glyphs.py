# ParaView's side of bench/paraview_bench.sh, run by pvbatch: one frame of ellipsoids as the "3D Glyphs"
# representation (8 x 8 spheres scaled per component by the half radii, turned by the quaternion, coloured by
# species), drawn from the camera given: written as a PNG, or (--time-render) drawn twice, the seconds of the
# second Render() alone printed. Two runs, so that the launch to the image counts no drawing of the timing.
#   pvbatch --force-offscreen-rendering bench/paraview_glyphs.py FRAME.vtp CAMERA.txt IMAGE.png|--time-render [COLOURS]
# CAMERA.txt: eye x y z, focal point x y z, up x y z, vertical view angle in degrees (whitespace separated).
# COLOURS: "r,g,b;r,g,b" for species 1 and 2 (default ParaView's palette).
import sys
import time

import paraview.simple
from paraview.simple import (ColorBy, GetColorTransferFunction, GetActiveViewOrCreate, Render, SaveScreenshot, Show,
                             XMLPolyDataReader)

frame_file, camera_file, image_file = sys.argv[1:4]
colours = [[float(c) for c in rgb.split(',')] for rgb in sys.argv[4].split(';')] if len(sys.argv) > 4 else None
with open(camera_file) as f:
    camera = [float(v) for v in f.read().split()]

view = GetActiveViewOrCreate('RenderView')
view.ViewSize = [1024, 640]
view.OrientationAxesVisibility = 0
if hasattr(view, 'UseColorPaletteForBackground'):
    view.UseColorPaletteForBackground = 0  # else the palette's background wins over the one set here
view.Background = [1, 1, 1]

frame = XMLPolyDataReader(FileName=[frame_file])
glyphs = Show(frame, view)
glyphs.SetRepresentationType('3D Glyphs')
glyphs.GlyphType = 'Sphere'
glyphs.GlyphType.Radius = 1.0  # a unit sphere, so that the scale array gives the half radii
glyphs.GlyphType.ThetaResolution = 8
glyphs.GlyphType.PhiResolution = 8
glyphs.Scaling = 1  # without it the scale array is ignored
glyphs.ScaleMode = 'Vector Components'
glyphs.SelectScaleArray = 'scale'
glyphs.ScaleFactor = 1.0
glyphs.Orient = 1
glyphs.OrientationMode = 'Quaternion'  # w x y z, as the GSD file stores it
glyphs.SelectOrientationVectors = 'orientation'

ColorBy(glyphs, ('POINTS', 'species'))
table = GetColorTransferFunction('species')
table.InterpretValuesAsCategories = 1
table.Annotations = ['1', '1', '2', '2']
if colours:
    table.IndexedColors = colours[0] + colours[1]
glyphs.SetScalarBarVisibility(view, False)

view.CameraPosition = camera[0:3]
view.CameraFocalPoint = camera[3:6]
view.CameraViewUp = camera[6:9]
view.CameraViewAngle = camera[9]
view.CameraParallelProjection = 0
paraview.simple._DisableFirstRenderCameraReset()  # else the first Render() fits the camera its own way

if image_file == '--time-render':
    Render(view)  # reads the file and builds the glyphs
    start = time.perf_counter()
    Render(view)
    print('ParaView render alone: %.3f s' % (time.perf_counter() - start), flush=True)
else:
    SaveScreenshot(image_file, view, ImageResolution=[1024, 640])  # reads, builds and draws once
