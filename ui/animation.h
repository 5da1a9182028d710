// The animation's pace: the event loop's idle turns advance it, and only while it runs.
#pragma once

void UpdateIdleCallback();  // redraw continuously while the animation has frames to show, only on events otherwise
