// Scene state: the program-wide variables through which readers, renderer and input handlers meet.
// No OpenGL header here, so the file readers and their tests compile without a display.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>   // Required for: infile
#include <string>
#include <vector>

class GLUquadric;  // GLU's quadric object, known here only by pointer

// ---- Table layouts --------------------------------------------------------------------------------
constexpr int GEOM_STRIDE = 9;      // geom row: label, species, x, y, z, quaternion w, x, y, z
constexpr int SPECIES_STRIDE = 3;   // shape and color row: three values per species
constexpr int VECTOR_STRIDE = 3;    // bondvec: one 3-vector per species in each bond-origin block
constexpr int TOPOLOGY_STRIDE = 4;  // topology row: atom A, atom B, origin at A, origin at B

// geom columns
constexpr int GEOM_LABEL = 0;
constexpr int GEOM_TYPE = 1;
constexpr int GEOM_X = 2;
constexpr int GEOM_QW = 5;

// ---- Dump layout and box -------------------------------------------------------------------------
// Where each value of a geom row, and the shape, is found on an atom line: 0-based columns, -1 for none.
struct DumpColumns {
    int names = 0;             // columns the header names; 0 for a bare or unrecognised header
    int label = 0;             // -1: the atom's place in the frame, counted from 1, is its label
    int type = 1;
    int position[3] = {2, 3, 4};
    int quaternion[4] = {5, 6, 7, 8};
    int shape[3] = {-1, -1, -1};  // full diameters, as LAMMPS writes them
    bool scaled = false;          // positions are fractions of the frame's box
    bool canonical = true;        // columns 1 to 9 in geom order: the fast field reader reads the line
    std::string positionNames;    // the names of the position and quaternion columns used, for messages
    std::string quaternionNames;
    std::string shapeNames;
    std::string problem;          // why the header cannot be read (what it lacks, a name given twice)
    std::vector<int> quantityColumns;       // columns of the per-particle quantities, ascending
    std::vector<std::string> quantityNames; // their names, in the same order
    std::vector<std::string> notes;         // lines that say where orientation and shape come from
};

// A frame's box: lower corner, edge lengths and tilt factors (0 for an orthogonal box).
struct DumpBox {
    double lo[3] = {0, 0, 0};
    double length[3] = {1, 1, 1};
    double xy = 0, xz = 0, yz = 0;
};

// ---- Window and projection ------------------------------------------------------------------------
extern int window_width;   // pixels; 1024 until the first reshape
extern int window_height;  // pixels; 640, never 0 (a reshape to 0 stores 1)
extern int window_depth;   // far plane and fog end, scene units; fog starts 50 units earlier
extern double clipNear;    // near plane, scene units: 1 until a fit brings a small system closer
extern double clipFar;     // far plane beyond window_depth that a fit of a large system needs; 0: window_depth

// ---- Camera (set once by the GL set-up) ----------------------------------------------------------
extern double eyex, eyey, eyez;
extern double focusx, focusy, focusz;

// ---- Lights and fog -------------------------------------------------------------------------------
extern float light_ambient_2[4];  // RGBA of lights 0 and 1
extern float light_diffuse[4];    // RGBA of lights 0 and 1
extern float light_specular[4];   // RGBA of lights 0 and 1, also the start-up material specular
extern float light_pos_0[4];      // homogeneous, w = 0: directional
extern float light_pos_1[4];      // homogeneous, w = 0: directional
extern int rotating_light;        // 1: lights turn with the scene; 0: fixed to the eye
extern bool gp;                   // fog is on
extern float BGColor[4];          // clear colour RGBA; alpha 1 once a configuration is read
extern float FogColor[4];         // RGB copied from BGColor; alpha stays 0

// ---- Overlay and constants ------------------------------------------------------------------------
extern bool showTS;               // draw the time-step overlay
extern void* bitfont;             // GLUT bitmap font of the overlay; nullptr: the program's own 8 x 13 table
extern int overlayScale;          // overlay text, margins and colour bar this many times larger (tall offscreen pictures)
extern bool adaptiveDetail;       // each ellipsoid subdivided by its size on screen instead of 30 x 30
extern const double pi;

// ---- Program mode ---------------------------------------------------------------------------------
extern bool headless;             // ovalix --render: fatal errors exit 1 at once; messages name no window keys

// ---- Files and names ------------------------------------------------------------------------------
extern std::string title;             // window title
extern std::string inname;            // trajectory file; also the stem of sequence image names
extern std::ifstream infile;          // the open dump or PDB trajectory, binary (a GSD file keeps its own file)
extern bool quat;                     // true: dump file; false: PDB trajectory (read only by io/trajectory_kinds)
extern bool gsd;                      // the trajectory is a GSD file (HOOMD-blue); quat is then false
extern std::string ellipsoidtexture;  // image for the ellipsoids, empty for none
extern std::string bondtexture;       // image for the solid bonds, empty for none
extern std::string format;            // screenshot extension with its dot: ".jpg", ".png", ".bmp"

// ---- Frames and atoms -----------------------------------------------------------------------------
extern std::vector<int64_t> counter;  // byte offset of each frame in its file (of a GSD frame: its first chunk); size = number of frames
extern int frame;                     // 0-based index of the frame held in geom
extern int atoms;                     // atoms of the frame held in geom
extern std::vector<int> frameAtoms;   // atoms of each frame, by frame index; filled by the opener
extern int mostAtoms;                 // atoms of the largest frame: geom's capacity is taken for it once
extern std::vector<int> frameMember;  // file of each frame in seriesFiles (counter is the offset in it); empty: one file
extern std::vector<std::string> seriesFiles;  // the files of a series, ordered by their first MD step; empty: one file
extern bool varyingAtoms;             // the atom count may change between frames (else a change is an error)
extern bool speciesFromTrajectory;    // the configuration was made for the dump: its species follow every frame's types
extern long long frameStep;           // MD step of the frame in geom as its file gives it; -1 where it gives none
extern int species;                   // rows of shape and color; block size of bondvec
extern std::vector<double> geom;      // GEOM_STRIDE doubles per atom
extern long long frameMemoryLimit;    // bytes geom may take: the machine's physical memory
extern int workerThreads;            // threads a frame's reading and records may use: 0 one per core, 1 this one alone
extern DumpColumns dumpColumns;       // the column mapping of the open dump, taken from its first frame

// ---- Drawing choices and counts -----------------------------------------------------------------
extern bool cullOutsideView;             // true: no ellipsoid wholly outside the view is sent; false: every one (reference drawing)
extern long long ellipsoidsOutsideView;  // ellipsoids the last drawing left out: outside the view, or beyond single precision
extern bool tessellateEachShape;         // false: replay the prebuilt sphere lists; true: tessellate anew (reference drawing)
extern bool raycastEllipsoids;           // each ellipsoid ray-cast on one screen quad, in place of the tessellations
extern bool occlusionCulling;            // ray-cast ellipsoids that nearer ones certainly cover are left out (no pixel changes)
extern bool ambientOcclusion;             // each particle's lit colour scaled by its occlusion factor (key o)
extern double occlusionStrength;          // 0 to 1: how much of its light a wholly enclosed particle loses
extern long long particleDataVersion;    // bumped whenever geom, shape, color or what is shown changes: GPU copies compare it

// ---- Compressed trajectories --------------------------------------------------------------------
// Text bytes between two restart points of a gzip index. Each keeps up to 32 KiB of window, deflated (about
// 11 KiB for a dump), so the index costs about 6 MiB per GiB of text, and a seek inflates 1 MiB on average.
constexpr int64_t GZIP_RESTART_SPACING = int64_t(2) << 20;
extern int64_t gzipRestartSpacing;    // GZIP_RESTART_SPACING; tests make it small to get many restart points

// ---- Per-particle quantities and the frame's box --------------------------------------------------
// Numbers the file gives per particle besides label, type, position, orientation and shape (vx, c_pe, an
// occupancy...), filled by the frame reader: quantityNames.size() doubles per atom, in geom's atom order.
extern std::vector<std::string> quantityNames;  // in file order; the names shown, each unique
extern std::vector<std::string> quantityFullNames;  // the file's longer name of each (GSD chunk names), or empty
extern std::vector<double> quantities;          // quantityNames.size() doubles per atom of the frame in geom

// The simulation cell of the frame in geom, in the coordinates of geom.
struct SimulationBox {
    bool exists;         // false: the frame gives no box (a dump without BOX BOUNDS, a PDB frame without CRYST1)
    double origin[3];    // the corner the three edges start from
    double edges[3][3];  // edge vectors a, b, c
};
extern SimulationBox frameBox;
constexpr int CELL_STRIDE = 6;          // cellOfStep row: a, b, c, alpha, beta, gamma
extern std::vector<double> cellOfStep;  // the CRYST1 cell of each PDB time step; NaN where it cannot be read

// Colouring by a quantity: viridis over [quantityLow, quantityHigh], chosen with the key C or colour_by.
constexpr int SPECIES_COLOURS = -1;       // colourQuantity when the species give the colours
extern int colourQuantity;                // index into quantityNames, or SPECIES_COLOURS
extern double quantityLow, quantityHigh;  // the range the colours span, kept while frames change
extern std::string colourByName;          // quantity asked for by colour_by or --colour-by; empty for none
extern bool colourByFixed;                // colour_by gave its range: colourByLow to colourByHigh
extern bool colourByWholeRun;             // colour_by NAME all: colourByLow to colourByHigh span every frame of the run
extern double colourByLow, colourByHigh;
extern bool unwrap;                       // add the image flags times the box edges to wrapped positions
extern bool unwrapActive;                 // the trajectory has image flags and wrapped positions
extern bool wrapIntoBox;                  // every position put back into the frame's box (excludes unwrap)
extern int imageCounts[3];                // periodic images drawn along a, b, c: odd, centred on the box; 1 1 1 draws the frame once

// ---- Species tables, bonds, textures -------------------------------------------------------------
extern std::vector<double> shape;         // half radii, SPECIES_STRIDE per species
extern std::vector<double> color;         // diffuse RGB, SPECIES_STRIDE per species
extern std::vector<double> bondvec;       // body-frame bond origins: block m holds origin m of every species
extern std::vector<int> topology;         // TOPOLOGY_STRIDE ints per bond, atom and origin numbers from 1
extern bool trajectoryBonds;              // the trajectory's own bonds fill topology frame by frame (no bond file)
extern bool bondsLeftOutShown;            // a bond to an atom beyond a frame's count has been reported once
extern bool bondsByLabel;                 // the frame in geom labels its atoms otherwise than 1..N: bonds join labels
extern bool bondsByLabelShown;            // joining bonds by label has been reported once
extern std::vector<int> bondRows;         // while bondsByLabel, 2 per bond: the geom rows of its atoms, -1 where missing
extern bool solidBonds;                   // bonds as cylinders (true) or lines
extern double bondwidth;                  // cylinder radius, scene units
extern std::vector<unsigned int> texture; // GL texture names: [0] ellipsoids, [1] bonds if configured
extern GLUquadric* q;                     // the one quadric for every sphere and cylinder; made by the GL set-up

// ---- Orientation colours and order parameter ------------------------------------------------------
struct OrderParameter {
    bool exists;         // false: the frame has no non-spherical particle
    double S;            // largest eigenvalue of Q
    double director[3];  // its unit eigenvector, largest component positive
};
extern bool colourByOrientation;   // diffuse colours from the angle to the director instead of the species
extern bool orderFrameChanged;     // a frame was read since the order parameter was last computed
extern OrderParameter frameOrder;  // of the frame shown, valid while colourByOrientation
extern double localOrderCutoff;    // local_order RC: neighbours within it; 0: twice the largest half radius
extern double localOrderAngle;     // degrees between the axes of neighbours of one domain (20)
extern int localOrderMinimum;      // particles of the smallest domain numbered (10)
extern bool localOrderAsked;       // local_order or --local-order given: local_S and domain are listed

// ---- Animation, output and mouse ------------------------------------------------------------------
extern bool animate;     // each redisplay advances one frame
extern bool print;       // each animated frame is written as an image
extern bool animationEnded;  // the animation has drawn (and written) the last frame; the next frame read clears it
extern int printcount;   // sequence number of the next snapshot
extern std::string sequenceFallback;  // inname whose folder could not be written: its sequence images go to the working directory

struct MouseRecord {
    bool leftButton;
    bool middleButton;
    bool rightButton;
    int modifiers;  // GLUT modifier mask taken when the left button went down
    int x;          // last pointer position, window pixels
    int y;
    int pressX;     // where the left button went down, for telling a click from a drag
    int pressY;
    bool leftMoved; // a drag step of the left button has moved the view since it went down
};
extern MouseRecord MouseState;

// ---- Looking inside: box, slab, hidden species, picks, fitted start ----------------------------------
// A slice of the frame: the atoms whose centres lie within width / 2 of the plane through the frame centre
// moved by offset along the unit normal.
struct SlabCut {
    bool on;
    double normal[3];  // unit length, scene coordinates
    double offset;     // of the slab's middle from the frame centre along the normal
    double width;
};
constexpr int PICK_LIMIT = 3;                 // a fourth pick starts a new series
extern bool showBox;                          // draw the twelve edges of frameBox
extern bool boxAbsenceTold;                   // the trajectory's lack of a box has been reported once
extern SlabCut slab;
extern std::vector<unsigned char> hiddenSpecies;  // entry n - 1 non-zero: species n is not drawn; shorter: shown
extern std::vector<double> pickedLabels;      // labels of the picked atoms, in pick order; kept across frames
extern bool fitViewOnLoad;                    // fit the view at start-up and after each reload (fit_view)
extern bool fixedCentre;                      // every frame centred on fixedCentrePoint instead of its own mean
extern double fixedCentrePoint[3];            // frame 0's box centre, or its mean without a box (fixed_centre, key O)

// ---- Transparency ----------------------------------------------------------------------------------
extern std::vector<double> speciesOpacity;    // entry n - 1: opacity of species n, 0 to 1; shorter: opaque
extern bool transparencyOn;                   // the configured opacities are drawn (key T); off: all opaque

// ---- Checked table access -------------------------------------------------------------------------
[[noreturn]] void TableIndexError(const char* table, long long index, std::size_t size);  // Report a bad index and end

// Entry of a table, index-checked: a bad index is reported and ends the program instead of reading garbage.
template <typename T>
inline T& entry(std::vector<T>& table, long long index, const char* name) {
    if (index < 0 || static_cast<unsigned long long>(index) >= table.size()) TableIndexError(name, index, table.size());
    return table[static_cast<std::size_t>(index)];
}

int FrameCount();     // number of frames of the open trajectory (entries of counter)
int BondCount();      // number of whole bonds in topology
int BondAtomRow(int j, int end);  // geom row of end 0 (A) or 1 (B) of bond j in the frame held; -1 when it lacks the atom
bool BondInFrame(int j);  // both atoms of bond j lie within the frame held in geom
long long PhysicalMemoryBytes();  // memory of this machine in bytes (a large stand-in where it cannot be told)
void ResetScene();    // put every scene variable back to its start-up default (for tests)
