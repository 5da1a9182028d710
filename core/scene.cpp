// Scene state: every program-wide variable, defined once with its default.
#include "core/scene.h"

#include <unistd.h>  // Required for: sysconf()

#include <iostream>

#include "core/exit_sequence.h"
#include "core/occlusion.h"

int window_width = 1024;
int window_height = 640;
int window_depth = 400;
double clipNear = 1.0;
double clipFar = 0.0;

double eyex = 0, eyey = 0, eyez = 0;
double focusx = 0, focusy = 0, focusz = 0;

float light_ambient_2[4] = {0.1f, 0.1f, 0.1f, 1.0f};
float light_diffuse[4] = {0.9f, 0.9f, 0.9f, 1.0f};
float light_specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
float light_pos_0[4] = {50.0f, 0.0f, 100.0f, 0.0f};
float light_pos_1[4] = {50.0f, 50.0f, -100.0f, 0.0f};
int rotating_light = 1;
bool gp = true;
float BGColor[4] = {0, 0, 0, 0};
float FogColor[4] = {0, 0, 0, 0};

bool showTS = true;
bool adaptiveDetail = false;
bool headless = false;
extern const double pi = 3.141592653589793;

int frame = 0;
int atoms = 0;
int species = 0;
bool quat = false;
bool gsd = false;
int mostAtoms = 0;
bool varyingAtoms = false;
bool speciesFromTrajectory = false;
long long frameStep = -1;
bool trajectoryBonds = false;
bool bondsLeftOutShown = false;
bool bondsByLabel = false;
bool bondsByLabelShown = false;
bool solidBonds = false;
double bondwidth = 0.0;
bool animate = false;
bool print = false;
bool animationEnded = false;
int printcount = 0;
std::string sequenceFallback;
bool colourByOrientation = false;
bool orderFrameChanged = true;
OrderParameter frameOrder = {false, 0.0, {0.0, 0.0, 0.0}};
double localOrderCutoff = 0;
double localOrderAngle = 20;
int localOrderMinimum = 10;
bool localOrderAsked = false;
MouseRecord MouseState = {false, false, false, 0, 0, 0, 0, 0, false};
bool showBox = false;
bool boxAbsenceTold = false;
SlabCut slab = {false, {0, 0, 1}, 0.0, 1.0};
bool fitViewOnLoad = false;
bool fixedCentre = false;
double fixedCentrePoint[3] = {0, 0, 0};

// Containers in their construction order; they are destroyed in the reverse order after main.
std::vector<double> shape;
std::vector<double> bondvec;
std::vector<double> color;
std::vector<double> geom;
long long frameMemoryLimit = PhysicalMemoryBytes();
int workerThreads = 0;
std::vector<int64_t> counter(100, 0);
std::vector<int> topology;
std::vector<int> bondRows;
std::vector<int> frameAtoms;
std::vector<int> frameMember;
std::vector<std::string> seriesFiles;
std::vector<unsigned int> texture(1, 0);
std::ifstream infile;
std::string inname;
std::string format = ".jpg";
std::string ellipsoidtexture;
DumpColumns dumpColumns;
bool cullOutsideView = true;
long long ellipsoidsOutsideView = 0;
bool tessellateEachShape = false;
bool raycastEllipsoids = false;
bool occlusionCulling = true;
bool ambientOcclusion = false;
double occlusionStrength = DEFAULT_OCCLUSION_STRENGTH;
long long particleDataVersion = 0;
int64_t gzipRestartSpacing = GZIP_RESTART_SPACING;
GLUquadric* q = nullptr;
std::vector<std::string> quantityNames;
std::vector<std::string> quantityFullNames;
std::vector<double> quantities;
std::vector<unsigned char> hiddenSpecies;
std::vector<double> speciesOpacity;
bool transparencyOn = true;
std::vector<double> pickedLabels;
std::vector<double> cellOfStep;
SimulationBox frameBox = {false, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
int colourQuantity = SPECIES_COLOURS;
double quantityLow = 0, quantityHigh = 1;
std::string colourByName;
bool colourByFixed = false;
bool colourByWholeRun = false;
double colourByLow = 0, colourByHigh = 1;
bool unwrap = false;
bool unwrapActive = false;
bool wrapIntoBox = false;
int imageCounts[3] = {1, 1, 1};
void* bitfont = nullptr;
int overlayScale = 1;
std::string bondtexture;
std::string title;

void TableIndexError(const char* table, long long index, std::size_t size) {
    std::cout << "Something is seriously wrong. Entry " << index << " of the table " << table
              << " was requested, but it holds " << size << " entries." << std::endl;
    ExitSequence();
}

int FrameCount() { return static_cast<int>(counter.size()); }

int BondCount() { return static_cast<int>(topology.size() / TOPOLOGY_STRIDE); }

int BondAtomRow(int j, int end) {
    const long long number = entry(topology, static_cast<long long>(j) * TOPOLOGY_STRIDE + end, "topology");
    // Rows found for another bond list (one refilled since) are not used.
    if (bondsByLabel && bondRows.size() == 2 * (topology.size() / TOPOLOGY_STRIDE))
        return entry(bondRows, 2LL * j + end, "bondRows");
    return number >= 1 && number <= atoms ? static_cast<int>(number - 1) : -1;
}

bool BondInFrame(int j) { return BondAtomRow(j, 0) >= 0 && BondAtomRow(j, 1) >= 0; }

void ResetScene() {
    window_width = 1024;
    window_height = 640;
    window_depth = 400;
    eyex = eyey = eyez = 0;
    focusx = focusy = focusz = 0;
    rotating_light = 1;
    gp = true;
    for (int k = 0; k < 4; ++k) BGColor[k] = FogColor[k] = 0;
    showTS = true;
    adaptiveDetail = false;
    headless = false;
    frame = atoms = species = 0;
    quat = false;
    gsd = false;
    mostAtoms = 0;
    varyingAtoms = false;
    speciesFromTrajectory = false;
    frameStep = -1;
    trajectoryBonds = false;
    bondsLeftOutShown = false;
    bondsByLabel = false;
    bondsByLabelShown = false;
    bondRows.clear();
    frameAtoms.clear();
    frameMember.clear();
    seriesFiles.clear();
    solidBonds = false;
    bondwidth = 0.0;
    animate = print = false;
    animationEnded = false;
    printcount = 0;
    sequenceFallback.clear();
    colourByOrientation = false;
    orderFrameChanged = true;
    frameOrder = {false, 0.0, {0.0, 0.0, 0.0}};
    localOrderCutoff = 0;
    localOrderAngle = 20;
    localOrderMinimum = 10;
    localOrderAsked = false;
    clipNear = 1.0;
    clipFar = 0.0;
    MouseState = {false, false, false, 0, 0, 0, 0, 0, false};
    showBox = false;
    boxAbsenceTold = false;
    slab = {false, {0, 0, 1}, 0.0, 1.0};
    hiddenSpecies.clear();
    pickedLabels.clear();
    cellOfStep.clear();
    fitViewOnLoad = false;
    fixedCentre = false;
    for (double& c : fixedCentrePoint) c = 0;
    speciesOpacity.clear();
    transparencyOn = true;
    shape.clear();
    bondvec.clear();
    color.clear();
    geom.clear();
    frameMemoryLimit = PhysicalMemoryBytes();
    workerThreads = 0;
    counter.assign(100, 0);
    topology.clear();
    texture.assign(1, 0);
    if (infile.is_open()) infile.close();
    infile.clear();
    inname.clear();
    format = ".jpg";
    ellipsoidtexture.clear();
    bondtexture.clear();
    title.clear();
    dumpColumns = DumpColumns();
    cullOutsideView = true;
    ellipsoidsOutsideView = 0;
    tessellateEachShape = false;
    raycastEllipsoids = false;
    occlusionCulling = true;
    ambientOcclusion = false;
    occlusionStrength = DEFAULT_OCCLUSION_STRENGTH;
    ++particleDataVersion;  // never back to an old value: a copy made before the reset must not look current
    gzipRestartSpacing = GZIP_RESTART_SPACING;
    bitfont = nullptr;
    overlayScale = 1;
    quantityNames.clear();
    quantityFullNames.clear();
    quantities.clear();
    frameBox = {false, {0, 0, 0}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}};
    colourQuantity = SPECIES_COLOURS;
    quantityLow = 0;
    quantityHigh = 1;
    colourByName.clear();
    colourByFixed = false;
    colourByWholeRun = false;
    colourByLow = 0;
    colourByHigh = 1;
    unwrap = false;
    wrapIntoBox = false;
    for (int& count : imageCounts) count = 1;
    unwrapActive = false;  // the quadric belongs to the GL context that made it: the GL set-up replaces it
}

long long PhysicalMemoryBytes() {
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 1LL << 50;
    return static_cast<long long>(pages) * pageSize;
}
