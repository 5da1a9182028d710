// The animation's pace: the event loop's idle turns advance it, and only while it runs.
#pragma once

void UpdateIdleCallback();  // redraw continuously while `animate` is on, only on events otherwise
