// Keyboard commands.
//   Q, Esc  quit                  + =  closer      - _  farther
//   d a     turn right/left 4 deg w s  turn up/down 2 deg   q e  spin 2 deg
//   space   animate on/off        p n  previous/next frame   P N  back/forward a tenth
//   G       go to frame (console) r f  first/last frame      L    reload a configuration (console)
//   g       fog on/off            t    time-step overlay     Enter  snapshot
//   c       colour by orientation z    fit the view          Z    start-up view, then fit
//   h       list every command
//   V       save the view to <trajectory>.view for ovalix --render --view
#pragma once

void KeyHandler(unsigned char key, int x, int y);       // GLUT keyboard callback
