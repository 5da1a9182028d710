// Where a frame is ordered: each particle's local nematic order local_S (the largest eigenvalue of Q over its
// neighbours within a cut-off), the orientational domains (neighbours whose axes lie within an angle, joined),
// and the smectic order tau with its layer spacing. Worked out on every core, with the same result as on one;
// free of OpenGL.
#pragma once

#include <string>
#include <vector>

#include "core/scene.h"

constexpr double DEFAULT_DOMAIN_ANGLE = 20;  // degrees between the axes of two neighbours of one domain
constexpr int DEFAULT_DOMAIN_MINIMUM = 10;   // particles of the smallest domain that is numbered

// The parameters as local_order RC [ANGLE [MIN]] and --local-order RC[:ANGLE[:MIN]] give them.
struct LocalOrderSettings {
    double cutoff = 0;  // 0: twice the largest half radius of the frame's species
    double angle = DEFAULT_DOMAIN_ANGLE;
    int minimum = DEFAULT_DOMAIN_MINIMUM;
};

// What the analysis of one frame needs: the non-spherical particles (each one's atom row, label, centre and unit
// axis), the box and the parameters.
struct OrientedParticles {
    std::vector<long long> atom;   // geom row of each particle taking part
    std::vector<double> label;     // its label
    std::vector<double> position;  // 3 per particle
    std::vector<double> axis;      // 3 per particle, unit length
};

// The local order and domains of a set of particles, one entry per particle in OrientedParticles order.
struct LocalOrderResult {
    std::vector<double> localS;           // largest eigenvalue of the mean of 3/2 u u^T - 1/2 I over the neighbours
    std::vector<int> domain;              // 1 the largest domain, ...; 0 in a component under the minimum
    std::vector<long long> domainSizes;   // particles of domain 1, 2, ...
    long long components = 0;             // components of the graph, numbered or not
};

// The smectic order along a direction: the largest |mean of exp(2 pi i (r . n) / d)| over d, and that d.
struct SmecticResult {
    bool exists = false;  // false: no particle, or no director
    double tau = 0;
    double spacing = 0;
};

// A frame's analysis as the viewer, the table and the Python module show it, kept until the frame changes.
struct FrameAnalysis {
    bool exists = false;                 // the frame has a non-spherical particle
    double cutoff = 0, angle = 0;        // what was used (the cut-off's default worked out)
    int minimum = 0;
    long long particles = 0;             // non-spherical particles
    std::vector<double> localS;          // per atom of the frame, NaN for a sphere
    std::vector<double> domain;          // per atom of the frame, 0 for a sphere
    std::vector<long long> domainSizes;  // particles of domain 1, 2, ...
    double meanLocalS = 0;
};

// ---- On any set of particles (tests and benchmarks call these directly) ------------------------------
void LocalOrderOf(const std::vector<double>& position, const std::vector<double>& axis,
                  const std::vector<double>& label, const SimulationBox& box, double cutoff, double angle,
                  int minimum, LocalOrderResult& result);  // local S and domains; the box periodic when it exists
SmecticResult SmecticOf(const std::vector<double>& position, const double* director, double dmin,
                        double dmax);  // tau and the layer spacing in [dmin, dmax], found within 0.001 of the largest
double LargestEigenvalue(const double* q);  // of a symmetric 3 x 3 matrix, row-major, to rounding
int AnalysisThreads();                       // threads the analysis uses: the machine's cores, or the limit set
void LimitAnalysisThreads(int threads);      // at most this many threads; 0: every core

// ---- On the frame held in geom ----------------------------------------------------------------------
const OrientedParticles& FrameParticles();   // the non-spherical atoms of geom with their unique axes; kept
double DefaultCutoff();                      // twice the largest half radius of the species in the frame
bool DefaultSpacingRange(double& dmin, double& dmax);  // smallest to 1.5 x largest full length of its non-spherical species
const FrameAnalysis& FrameLocalOrder();      // of the frame held, with localOrderCutoff, -Angle, -Minimum; kept
const SmecticResult& FrameSmectic();         // along the frame's director over the default range; kept
bool LocalOrderListed();                     // local_S and domain are listed: asked for, and the frame has a non-spherical particle
const std::vector<double>& LocalSValues();   // local_S of each atom of the frame (NaN for a sphere)
const std::vector<double>& DomainValues();   // domain of each atom of the frame (0 for a sphere)
std::string DomainSummary(const FrameAnalysis& analysis);  // "domains 2, largest 51%"
std::string SmecticSummary(const SmecticResult& smectic);  // "smectic tau 0.0312 at layer spacing 3.05"
std::string ParseLocalOrder(const std::string& text, char separator, LocalOrderSettings& settings);  // "RC[ ANGLE[ MIN]]"; "" or why not
void UseLocalOrderSettings(const LocalOrderSettings& settings);  // into localOrderCutoff, -Angle, -Minimum
