"""Ovalix from Python: trajectories read into numpy arrays, and ellipsoids drawn offscreen into images."""
from ._ovalix import Error, __version__  # noqa: F401
from ._ovalix import *  # noqa: F401,F403
from .rendering import Image, render, renderer  # noqa: F401,E402

# Shown as ovalix.Error, ovalix.Frame... in tracebacks and reprs, where users meet them.
for _type in (Error, OptionError, Trajectory, Frame, Box, Species):
    _type.__module__ = __name__
del _type
