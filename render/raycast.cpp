// Ray-cast ellipsoids: one instanced quad per ellipsoid, its records uploaded once per frame.
#define GL_GLEXT_PROTOTYPES 1  // Mesa's libGL exports the entry points; the version is checked before any is called
#include "render/raycast.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/occlusion.h"
#include "core/raycast_records.h"
#include "core/scene.h"
#include "core/transparency.h"
#include "core/view_culling.h"

namespace {

// Body frame: the unit sphere that the ellipsoid's scale, rotation and translation turn into the particle.
// Each corner of the quad gets the ray through it as near point and near-to-far direction, in the eye frame
// and in the body frame; both are affine in the window coordinates, so interpolating them without
// perspective is exact, and the ray parameter t runs from the near plane (0) to the far plane (1).
const char* const VERTEX_SHADER = R"(#version 130
in vec2 corner;     // 0 or 1 in x and y
in vec3 centre;
in vec4 rotation;   // unit quaternion w, x, y, z
in vec3 halfAxes;
in vec4 colour;
in float occlusion;
noperspective out vec3 nearBody;
noperspective out vec3 rayBody;
noperspective out vec3 nearEye;
noperspective out vec3 rayEye;
flat out vec3 normalColumn0;  // body normal to model normal: rotation times the inverse scale
flat out vec3 normalColumn1;
flat out vec3 normalColumn2;
flat out vec4 diffuse;
flat out float shade;

mat3 RotationMatrix(vec4 q) {
    float w = q.x, x = q.y, y = q.z, z = q.w;
    return mat3(1.0 - 2.0 * (y * y + z * z), 2.0 * (x * y + w * z), 2.0 * (x * z - w * y),
                2.0 * (x * y - w * z), 1.0 - 2.0 * (x * x + z * z), 2.0 * (y * z + w * x),
                2.0 * (x * z + w * y), 2.0 * (y * z - w * x), 1.0 - 2.0 * (x * x + y * y));
}

// Tangent planes x = c w of the clip-space quadric (its dual, T D T^T with D = diag(1, 1, 1, -1)).
vec2 Extent(vec4 row, vec4 wRow, float q33) {
    float q00 = dot(row.xyz, row.xyz) - row.w * row.w;
    float q03 = dot(row.xyz, wRow.xyz) - row.w * wRow.w;
    float root = sqrt(max(q03 * q03 - q00 * q33, 0.0));
    float a = (q03 + root) / q33, b = (q03 - root) / q33;
    return vec2(min(a, b), max(a, b));
}

void main() {
    mat3 turn = RotationMatrix(rotation);
    mat4 model = mat4(vec4(turn[0] * halfAxes.x, 0.0), vec4(turn[1] * halfAxes.y, 0.0),
                      vec4(turn[2] * halfAxes.z, 0.0), vec4(centre, 1.0));
    mat4 toClip = gl_ModelViewProjectionMatrix * model;
    vec4 row0 = vec4(toClip[0][0], toClip[1][0], toClip[2][0], toClip[3][0]);
    vec4 row1 = vec4(toClip[0][1], toClip[1][1], toClip[2][1], toClip[3][1]);
    vec4 row3 = vec4(toClip[0][3], toClip[1][3], toClip[2][3], toClip[3][3]);
    float q33 = dot(row3.xyz, row3.xyz) - row3.w * row3.w;
    vec2 low = vec2(-1.0), high = vec2(1.0);
    bool shown = true;
    if (q33 < 0.0) {  // wholly on one side of the eye plane
        shown = row3.w > 0.0;
        vec2 x = Extent(row0, row3, q33), y = Extent(row1, row3, q33);
        low = max(vec2(x.x, y.x), low);
        high = min(vec2(x.y, y.y), high);
    }  // else it reaches across the eye plane: its projection is unbounded, the whole view is its bound
    shown = shown && low.x < high.x && low.y < high.y;  // false for NaN too
    vec2 ndc = mix(low, high, corner);
    gl_Position = shown ? vec4(ndc, 0.0, 1.0) : vec4(-2.0, -2.0, 0.0, 1.0);

    vec4 nearPoint = gl_ProjectionMatrixInverse * vec4(ndc, -1.0, 1.0);
    vec4 farPoint = gl_ProjectionMatrixInverse * vec4(ndc, 1.0, 1.0);
    nearEye = nearPoint.xyz / nearPoint.w;
    rayEye = farPoint.xyz / farPoint.w - nearEye;
    vec3 inverseScale = 1.0 / halfAxes;
    vec3 nearModel = (gl_ModelViewMatrixInverse * vec4(nearEye, 1.0)).xyz - centre;
    vec3 rayModel = (gl_ModelViewMatrixInverse * vec4(rayEye, 0.0)).xyz;
    nearBody = (nearModel * turn) * inverseScale;
    rayBody = (rayModel * turn) * inverseScale;
    normalColumn0 = turn[0] * inverseScale.x;
    normalColumn1 = turn[1] * inverseScale.y;
    normalColumn2 = turn[2] * inverseScale.z;
    diffuse = colour;
    shade = occlusion;
}
)";

// Lighting as the fixed-function pipeline does it per vertex, here per pixel: material ambient 0.8, the
// particle's diffuse colour, specular 0.1 with shininess 0; clamped, modulated by the texture, then linear fog.
// Texture coordinates are those gluSphere gives: s = 1 - longitude / 2 pi from the body y axis towards x,
// t = 1 - colatitude / pi from the body z axis. The texture code is compiled into a program of its own (TEXTURED):
// a software renderer runs both sides of a branch, even on a uniform, so the plain program would pay for it.
const char* const FRAGMENT_SHADER = R"(
noperspective in vec3 nearBody;
noperspective in vec3 rayBody;
noperspective in vec3 nearEye;
noperspective in vec3 rayEye;
flat in vec3 normalColumn0;
flat in vec3 normalColumn1;
flat in vec3 normalColumn2;
flat in vec4 diffuse;
flat in float shade;  // the ambient occlusion factor of the lit colour; 1 while it is off
uniform bool lighting;
uniform bool lightOn[2];
uniform bool fog;

const float PI = 3.14159265358979;

vec4 LightFrom(int i, vec3 normal, vec3 eye) {
    vec4 position = gl_LightSource[i].position;
    vec3 toLight = normalize(position.w == 0.0 ? position.xyz : position.xyz - eye * position.w);
    float facing = dot(normal, toLight);
    vec4 sum = 0.8 * gl_LightSource[i].ambient;
    if (facing > 0.0) sum += facing * diffuse * gl_LightSource[i].diffuse + 0.1 * gl_LightSource[i].specular;
    return sum;
}

#ifdef TEXTURED
uniform sampler2D picture;

// The seam of s (longitude 0) would pick the smallest mipmap level; the gradient of the longitude
// counted from -pi to pi is used where it is the smaller one.
vec4 Texel(vec3 body) {
    float turns = atan(body.x, body.y) / (2.0 * PI);  // -0.5 to 0.5
    float s = 1.0 - fract(turns);
    float t = 1.0 - acos(clamp(body.z, -1.0, 1.0)) / PI;
    vec2 seamX = vec2(dFdx(s), dFdx(t)), seamY = vec2(dFdy(s), dFdy(t));
    vec2 freeX = vec2(-dFdx(turns), dFdx(t)), freeY = vec2(-dFdy(turns), dFdy(t));
    bool seam = abs(seamX.x) + abs(seamY.x) > abs(freeX.x) + abs(freeY.x);
    return textureGrad(picture, vec2(s, t), seam ? freeX : seamX, seam ? freeY : seamY);
}
#endif

void main() {
    float along = dot(rayBody, rayBody);
    float closest = -dot(nearBody, rayBody) / along;
    vec3 nearest = nearBody + closest * rayBody;
    float miss = dot(nearest, nearest);
    if (!(miss <= 1.0)) discard;
    float t = closest - sqrt((1.0 - miss) / along);  // where the ray enters
    if (!(t >= 0.0 && t <= 1.0)) discard;            // before the near plane or beyond the far plane
    vec3 body = nearBody + t * rayBody;
    vec3 eye = nearEye + t * rayEye;
    vec4 clip = gl_ProjectionMatrix * vec4(eye, 1.0);
    gl_FragDepth = 0.5 * (gl_DepthRange.diff * clip.z / clip.w + gl_DepthRange.near + gl_DepthRange.far);

    vec4 colour = vec4(1.0);
    if (lighting) {
        vec3 model = mat3(normalColumn0, normalColumn1, normalColumn2) * body;
        vec3 normal = normalize(gl_NormalMatrix * model);
        colour = 0.8 * gl_LightModel.ambient;
        if (lightOn[0]) colour += LightFrom(0, normal, eye);
        if (lightOn[1]) colour += LightFrom(1, normal, eye);
        colour = clamp(vec4(shade * colour.rgb, diffuse.a), 0.0, 1.0);
    }
#ifdef TEXTURED
    colour *= Texel(body);
#endif
    if (fog) {
        float f = clamp((gl_Fog.end - abs(eye.z)) * gl_Fog.scale, 0.0, 1.0);
        colour.rgb = mix(gl_Fog.color.rgb, colour.rgb, f);
    }
    gl_FragColor = colour;
}
)";

// Attribute locations, bound before linking.
enum { CORNER = 0, CENTRE, ROTATION, HALF_AXES, COLOUR, OCCLUSION };

// Ellipsoids drawn in one call, and the calls that may wait for the renderer at a time.
long long raycastBatch = 16384;
const int BATCHES_IN_FLIGHT = 3;

struct RaycastGL {
    bool tried = false;
    bool ready = false;
    bool fenced = false;  // sync objects (OpenGL 3.2 or ARB_sync) bound the batches in flight
    std::string problem;
    // Programs without and with the texture, and where their uniforms are.
    struct Variant {
        GLuint program = 0;
        GLint pictureAt = -1, lightingAt = -1, lightOnAt = -1, fogAt = -1;
    } variants[2];
    GLuint vertexArray = 0;
    GLuint corners = 0;
    GLuint records = 0;
    GLuint transparentRecords = 0;  // the transparent atoms, refilled in the view's order at every redraw
    GLuint culledRecords = 0;       // the opaque records some pixel may show, refilled at every redraw
    std::vector<RaycastRecord> kept;  // the records, kept on this side while culling is on
    bool inBuffer = false;            // `records` holds them
    // What the records on the GPU were filled from.
    bool uploaded = false;
    long long version = -1;
    bool byOrientation = false;
    int quantity = SPECIES_COLOURS;
    double quantityRange[2] = {0, 0};
    std::vector<unsigned char> hiddenUsed;
    SlabCut slabUsed = {false, {0, 0, 0}, 0, 0};
    std::vector<double> shapeUsed, colourUsed;
    long long occlusionUsed = -1;  // OcclusionVersion() the records carry
    long long recordCount = 0;
    long long uploads = 0;
    long long culled = 0;  // records the last drawing left out as hidden
};
RaycastGL gl;

// The context's major and minor version from GL_VERSION ("4.5 (Compatibility Profile) Mesa ...").
int ContextVersion() {
    const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (text == nullptr || std::sscanf(text, "%d.%d", &major, &minor) != 2) return 0;
    return 10 * major + minor;
}

bool HasExtension(const char* name) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint k = 0; k < count; ++k) {
        const char* extension = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(k)));
        if (extension != nullptr && std::strcmp(extension, name) == 0) return true;
    }
    return false;
}

// The first line of a shader's or a program's log: `getiv` and `getLog` are the calls for its kind.
std::string FirstLogLine(GLuint object, void (*getiv)(GLuint, GLenum, GLint*),
                         void (*getLog)(GLuint, GLsizei, GLsizei*, GLchar*)) {
    GLint length = 0;
    getiv(object, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(static_cast<std::size_t>(length > 0 ? length : 1) + 1, '\0');
    getLog(object, length, nullptr, log.data());
    std::string text(log.data());
    return text.substr(0, text.find('\n'));
}

GLuint CompileShader(GLenum kind, std::initializer_list<const char*> sources, std::string& problem) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, static_cast<GLsizei>(sources.size()), sources.begin(), nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return shader;
    problem = "the shader does not compile: " + FirstLogLine(shader, glGetShaderiv, glGetShaderInfoLog);
    glDeleteShader(shader);
    return 0;
}

// The program of one variant; 0, with the problem, where it does not compile or link.
GLuint LinkProgram(bool textured, std::string& problem) {
    GLuint vertex = CompileShader(GL_VERTEX_SHADER, {VERTEX_SHADER}, problem);
    GLuint fragment = vertex ? CompileShader(GL_FRAGMENT_SHADER,
                                             {"#version 130\n", textured ? "#define TEXTURED 1\n" : "", FRAGMENT_SHADER},
                                             problem)
                             : 0;
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        return 0;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    const char* names[] = {"corner", "centre", "rotation", "halfAxes", "colour", "occlusion"};
    for (GLuint k = 0; k < 6; ++k) glBindAttribLocation(program, k, names[k]);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok == GL_TRUE) return program;
    problem = "the shaders do not link: " + FirstLogLine(program, glGetProgramiv, glGetProgramInfoLog);
    glDeleteProgram(program);
    return 0;
}

void RecordAttribute(GLuint location, GLint size, GLenum type, GLboolean normalised, std::size_t offset) {
    glVertexAttribPointer(location, size, type, normalised, sizeof(RaycastRecord), reinterpret_cast<const void*>(offset));
}

// Points the per-instance attributes at the records from `first` on (the records buffer is bound).
void PointRecordsFrom(long long first) {
    std::size_t base = sizeof(RaycastRecord) * static_cast<std::size_t>(first);
    RecordAttribute(CENTRE, 3, GL_FLOAT, GL_FALSE, base + offsetof(RaycastRecord, centre));
    RecordAttribute(ROTATION, 4, GL_FLOAT, GL_FALSE, base + offsetof(RaycastRecord, rotation));
    RecordAttribute(HALF_AXES, 3, GL_FLOAT, GL_FALSE, base + offsetof(RaycastRecord, half));
    RecordAttribute(COLOUR, 4, GL_UNSIGNED_BYTE, GL_TRUE, base + offsetof(RaycastRecord, colour));
    RecordAttribute(OCCLUSION, 1, GL_FLOAT, GL_FALSE, base + offsetof(RaycastRecord, occlusion));
}

// The vertex array: four corners shared by every quad, then one record per instance.
void MakeBuffers() {
    const float corners[8] = {0, 0, 1, 0, 0, 1, 1, 1};
    glGenVertexArrays(1, &gl.vertexArray);
    glBindVertexArray(gl.vertexArray);
    glGenBuffers(1, &gl.corners);
    glBindBuffer(GL_ARRAY_BUFFER, gl.corners);
    glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    glEnableVertexAttribArray(CORNER);
    glVertexAttribPointer(CORNER, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glGenBuffers(1, &gl.transparentRecords);
    glGenBuffers(1, &gl.culledRecords);
    glGenBuffers(1, &gl.records);
    glBindBuffer(GL_ARRAY_BUFFER, gl.records);
    for (GLuint location : {CENTRE, ROTATION, HALF_AXES, COLOUR, OCCLUSION}) {
        glEnableVertexAttribArray(location);
        glVertexAttribDivisor(location, 1);
    }
    PointRecordsFrom(0);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void SetUp() {
    gl.tried = true;
    int version = ContextVersion();
    if (version < 31 || (version < 33 && !HasExtension("GL_ARB_instanced_arrays"))) {
        const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        gl.problem = std::string("this OpenGL ") + (text ? text : "context") + " lacks instanced drawing and GLSL 1.30";
        return;
    }
    for (int textured = 0; textured < 2; ++textured) {
        RaycastGL::Variant& variant = gl.variants[textured];
        variant.program = LinkProgram(textured == 1, gl.problem);
        if (variant.program == 0) return;
        variant.pictureAt = glGetUniformLocation(variant.program, "picture");
        variant.lightingAt = glGetUniformLocation(variant.program, "lighting");
        variant.lightOnAt = glGetUniformLocation(variant.program, "lightOn");
        variant.fogAt = glGetUniformLocation(variant.program, "fog");
    }
    gl.fenced = version >= 32 || HasExtension("GL_ARB_sync");
    MakeBuffers();
    gl.ready = true;
}

bool RecordsCurrent() {
    const SlabCut& cut = gl.slabUsed;
    bool sameSlab = cut.on == slab.on && (!slab.on || (cut.offset == slab.offset && cut.width == slab.width &&
                                                       cut.normal[0] == slab.normal[0] && cut.normal[1] == slab.normal[1] &&
                                                       cut.normal[2] == slab.normal[2]));
    return gl.uploaded && gl.version == particleDataVersion && gl.byOrientation == colourByOrientation &&
           gl.quantity == colourQuantity && gl.quantityRange[0] == quantityLow && gl.quantityRange[1] == quantityHigh &&
           gl.hiddenUsed == hiddenSpecies && sameSlab && gl.shapeUsed == shape && gl.colourUsed == color &&
           gl.occlusionUsed == OcclusionVersion();
}

// Fills the buffer in place.
bool FillRecordBuffer() {
    glBindBuffer(GL_ARRAY_BUFFER, gl.records);
    std::size_t bytes = sizeof(RaycastRecord) * static_cast<std::size_t>(atoms > 0 ? atoms : 1);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_DRAW);
    void* mapped = glMapBufferRange(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes),
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    gl.recordCount = mapped ? FillRaycastRecords(static_cast<RaycastRecord*>(mapped)) : 0;
    if (mapped && glUnmapBuffer(GL_ARRAY_BUFFER) != GL_TRUE) gl.recordCount = 0;  // contents lost: drawn next time
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl.inBuffer = mapped != nullptr;
    return mapped != nullptr;
}

// While culling is on, the records are filled on this side, to be culled; the whole buffer is sent only for a
// drawing that culling cannot make, which spares the GL a copy of every record at every frame.
void UploadRecords() {
    gl.kept.clear();
    bool filled = true;
    if (occlusionCulling) {
        gl.kept.resize(static_cast<std::size_t>(atoms > 0 ? atoms : 0));
        gl.recordCount = FillRaycastRecords(gl.kept.data());
        gl.kept.resize(static_cast<std::size_t>(gl.recordCount));
        gl.inBuffer = false;
    } else {
        filled = FillRecordBuffer();
    }
    gl.uploaded = filled && gl.recordCount >= 0;
    gl.version = particleDataVersion;
    gl.byOrientation = colourByOrientation;
    gl.quantity = colourQuantity;
    gl.quantityRange[0] = quantityLow;
    gl.quantityRange[1] = quantityHigh;
    gl.hiddenUsed = hiddenSpecies;
    gl.slabUsed = slab;
    gl.shapeUsed = shape;
    gl.colourUsed = color;
    gl.occlusionUsed = OcclusionVersion();
    ++gl.uploads;
}

// The bound ellipsoid texture has an image: an empty or deleted name draws the material colour only.
bool TextureHasImage() {
    if (!glIsEnabled(GL_TEXTURE_2D) || texture.empty() || texture[0] == 0 || !glIsTexture(texture[0])) return false;
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    return width > 0;
}

// Takes the program of the texture state and sets its uniforms from GL's state.
void UseProgram() {
    const RaycastGL::Variant& variant = gl.variants[TextureHasImage() ? 1 : 0];
    glUseProgram(variant.program);
    glUniform1i(variant.pictureAt, 0);  // -1 in the plain program: ignored
    glUniform1i(variant.lightingAt, glIsEnabled(GL_LIGHTING) ? 1 : 0);
    const GLint lights[2] = {glIsEnabled(GL_LIGHT0) ? 1 : 0, glIsEnabled(GL_LIGHT1) ? 1 : 0};
    glUniform1iv(variant.lightOnAt, 2, lights);
    glUniform1i(variant.fogAt, glIsEnabled(GL_FOG) ? 1 : 0);
}

}  // namespace

bool RaycastAvailable() {
    if (!gl.tried) SetUp();
    return gl.ready;
}

const std::string& RaycastProblem() { return gl.problem; }

long long RaycastUploads() { return gl.uploads; }

long long SetRaycastBatch(long long ellipsoids) {
    long long before = raycastBatch;
    raycastBatch = ellipsoids > 0 ? ellipsoids : before;
    return before;
}

namespace {

// Draws `total` records of `buffer` with the current matrices, lights and blending.
void DrawRecords(GLuint buffer, long long total) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, entry(texture, 0, "texture"));
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_CULL_FACE);  // a quad's winding says nothing about which side of the ellipsoid shows
    UseProgram();
    glBindVertexArray(gl.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    if (buffer != gl.records) PointRecordsFrom(0);
    // A software renderer keeps every binned quad until it is rasterised (about 500 bytes an ellipsoid,
    // 400 MiB at a million); drawing in batches, each fenced, with at most a few of them in flight bounds that
    // and still lets its rasteriser threads work on one batch while the next is set up. The order of the
    // quads, and so the picture, stays the same.
    GLsync fences[BATCHES_IN_FLIGHT] = {};
    int batch = 0;
    for (long long first = 0; first < total; first += raycastBatch, ++batch) {
        GLsync& fence = fences[batch % BATCHES_IN_FLIGHT];
        if (fence != nullptr) {
            glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, ~GLuint64(0));
            glDeleteSync(fence);
            fence = nullptr;
        }
        long long count = std::min<long long>(raycastBatch, total - first);
        if (first > 0) PointRecordsFrom(first);
        glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(count));
        if (gl.fenced && first + count < total) {
            fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
            glFlush();  // starts the batch now, not when its fence is waited for
        }
    }
    for (GLsync fence : fences)
        if (fence != nullptr) glDeleteSync(fence);
    if (buffer != gl.records) glBindBuffer(GL_ARRAY_BUFFER, gl.records);
    if (buffer != gl.records || total > raycastBatch) PointRecordsFrom(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
    glUseProgram(0);
    glPopAttrib();
}

// The records kept on this side into the buffer, for a drawing of every record.
void SendKeptRecords() {
    glBindBuffer(GL_ARRAY_BUFFER, gl.records);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(RaycastRecord) * std::max<std::size_t>(gl.kept.size(), 1)),
                 gl.kept.empty() ? nullptr : gl.kept.data(), GL_STREAM_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl.inBuffer = true;
}

bool SameView(const CullingView& a, const CullingView& b) {
    return std::equal(a.modelview, a.modelview + 16, b.modelview) && std::equal(a.projection, a.projection + 16, b.projection) &&
           std::equal(a.viewport, a.viewport + 4, b.viewport) && std::equal(a.depthRange, a.depthRange + 2, b.depthRange) &&
           a.depthBits == b.depthBits;
}

// Draws only the records some pixel may show; false where culling is off or cannot be exact, or would leave
// out too few to pay for sending the rest again. A redraw of the same records under the same camera (an
// overlay switched, the window shown again) draws what the last one sent, without culling again.
bool DrawCulled() {
    static std::vector<RaycastRecord> shown;
    static CullingView culledFor;
    static long long culledUploads = -1;
    static bool sent = false;  // whether the last culling left out enough to send what it kept
    static long long leftOut = 0;  // by the last culling
    CullingView view;
    if (!occlusionCulling || static_cast<long long>(gl.kept.size()) != gl.recordCount || !CullingViewNow(view)) {
        gl.culled = 0;
        return false;
    }
    if (culledUploads != gl.uploads || !SameView(view, culledFor)) {
        leftOut = KeepVisibleRecords(gl.kept, view, shown);
        culledFor = view;
        culledUploads = gl.uploads;
        sent = leftOut * 4 >= gl.recordCount;
        if (sent) {
            glBindBuffer(GL_ARRAY_BUFFER, gl.culledRecords);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(RaycastRecord) * std::max<std::size_t>(shown.size(), 1)),
                         shown.empty() ? nullptr : shown.data(), GL_STREAM_DRAW);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
        }
    }
    gl.culled = leftOut;
    if (!sent) return false;
    if (!shown.empty()) DrawRecords(gl.culledRecords, static_cast<long long>(shown.size()));
    return true;
}

}  // namespace

// The camera, where culling cannot change a pixel: no multisampling, and depth tested and written with LEQUAL
// or LESS, as the drawings set it.
bool CullingViewNow(CullingView& view) {
    GLint samples = 0, depthFunction = 0;
    GLboolean depthWrites = GL_FALSE;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &samples);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
    if (samples > 0 || !glIsEnabled(GL_DEPTH_TEST) || !depthWrites || (depthFunction != GL_LEQUAL && depthFunction != GL_LESS))
        return false;
    glGetDoublev(GL_MODELVIEW_MATRIX, view.modelview);
    glGetDoublev(GL_PROJECTION_MATRIX, view.projection);
    glGetIntegerv(GL_VIEWPORT, view.viewport);
    glGetDoublev(GL_DEPTH_RANGE, view.depthRange);
    glGetIntegerv(GL_DEPTH_BITS, &view.depthBits);
    return CullingExact(view);
}

long long DrawRaycastEllipsoids() {
    if (!RaycastAvailable()) return 0;
    if (!RecordsCurrent() || (occlusionCulling && gl.kept.empty() && gl.recordCount > 0)) UploadRecords();
    if (gl.recordCount == 0) return 0;
    if (DrawCulled()) return gl.recordCount;
    if (!gl.inBuffer) SendKeptRecords();
    DrawRecords(gl.records, gl.recordCount);
    return gl.recordCount;
}

long long RaycastRecordsCulled() { return gl.culled; }

// The view changes the order at every redraw, so these records are filled afresh each time, in the order given.
long long DrawRaycastTransparent(const std::vector<TransparentPiece>& order) {
    if (!RaycastAvailable() || order.empty()) return 0;
    glBindBuffer(GL_ARRAY_BUFFER, gl.transparentRecords);
    std::size_t bytes = sizeof(RaycastRecord) * order.size();
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_DRAW);
    void* mapped = glMapBufferRange(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes),
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    long long count = mapped ? FillRaycastRecordsOf(order, static_cast<RaycastRecord*>(mapped)) : 0;
    if (mapped && glUnmapBuffer(GL_ARRAY_BUFFER) != GL_TRUE) count = 0;
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (count > 0) DrawRecords(gl.transparentRecords, count);
    return count;
}
