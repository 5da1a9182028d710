// The idle callback of the animation.
#include "ui/animation.h"

#include <GL/freeglut.h>

#include "core/scene.h"

// Each turn of the event loop with nothing else to do shows the next frame of the animation.
static void AnimationStep() { glutPostRedisplay(); }

// NOTE: without an animation, or once it has shown its last frame, there is nothing to redraw between events;
// an idle callback would keep a core busy redrawing (and, when printing, rewriting) the same picture.
void UpdateIdleCallback() { glutIdleFunc(animate && !animationEnded ? AnimationStep : nullptr); }
