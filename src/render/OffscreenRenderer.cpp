#include "render/OffscreenRenderer.h"

#include "render/Shaders.h"

#define EGL_EGLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <dlfcn.h>
#include <iostream>
#include <link.h>

namespace {

// Keeps the GL driver that the display loaded in memory for the rest of the
// process. Terminating the display would otherwise unload it with the driver's
// globals still owning memory, which then has no owner left.
void keepDriverLoaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}

// The largest frame drawn; bigger requests are refused rather than allocated.
constexpr int kMaxSide = 16384;

const char* errorName(GLenum error)
{
    switch (error) {
    case 0x500: return "GL_INVALID_ENUM";
    case 0x501: return "GL_INVALID_VALUE";
    case 0x502: return "GL_INVALID_OPERATION";
    case 0x503: return "GL_STACK_OVERFLOW";
    case 0x504: return "GL_STACK_UNDERFLOW";
    case 0x505: return "GL_OUT_OF_MEMORY";
    default: return "GL_NO_ERROR";
    }
}

GLuint compile(GLenum type, const char* source, std::string& log)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char text[1024] = {0};
        glGetShaderInfoLog(shader, sizeof(text) - 1, nullptr, text);
        log = text;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint buildProgram(const char* vertex, const char* fragment, bool cornerAttributes, std::string& log)
{
    const GLuint vs = compile(GL_VERTEX_SHADER, vertex, log);
    const GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, fragment, log) : 0;
    if (!vs || !fs) {
        if (vs)
            glDeleteShader(vs);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glBindAttribLocation(program, PositionLocation, "position");
    if (cornerAttributes) {
        glBindAttribLocation(program, NormalLocation, "normal");
        glBindAttribLocation(program, TexcoordLocation, "texcoord");
        glBindAttribLocation(program, ColorLocation, "color");
    }
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char text[1024] = {0};
        glGetProgramInfoLog(program, sizeof(text) - 1, nullptr, text);
        log = text;
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

} // namespace

struct OffscreenRenderer::State {
    bool tried = false;
    std::string failure;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
    GLuint meshProgram = 0;
    GLuint tubeProgram = 0;

    bool create();
    bool createPrograms();
    void destroy();
};

bool OffscreenRenderer::State::create()
{
    // Surfaceless first: it needs neither a display nor a window system.
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (clientExtensions && std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless"))
        display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    bool surfaceless = display != EGL_NO_DISPLAY;
    if (!surfaceless && clientExtensions && std::strstr(clientExtensions, "EGL_EXT_platform_device")) {
        // A device display also works without a window system.
        const auto queryDevices =
            reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
        EGLDeviceEXT devices[4];
        EGLint count = 0;
        if (queryDevices && queryDevices(4, devices, &count) && count > 0)
            display = eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
    }
    if (display == EGL_NO_DISPLAY) {
        failure = "no EGL display without a window system";
        return false;
    }
    if (!eglInitialize(display, nullptr, nullptr)) {
        failure = "EGL could not be initialised";
        display = EGL_NO_DISPLAY;
        return false;
    }
    keepDriverLoaded();
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    const bool noSurface = extensions && std::strstr(extensions, "EGL_KHR_surfaceless_context");
    if (!eglBindAPI(EGL_OPENGL_API)) {
        failure = "EGL offers no desktop OpenGL";
        return false;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, noSurface ? 0 : EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                       EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs < 1) {
        failure = "no EGL configuration for offscreen OpenGL";
        return false;
    }
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        failure = "the EGL context could not be created";
        return false;
    }
    if (!noSurface) {
        const EGLint pbufferAttributes[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        surface = eglCreatePbufferSurface(display, config, pbufferAttributes);
        if (surface == EGL_NO_SURFACE) {
            failure = "no EGL pbuffer surface";
            return false;
        }
    }
    if (!eglMakeCurrent(display, surface, surface, context)) {
        failure = "the EGL context could not be made current";
        return false;
    }
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || version[0] < '3') {
        failure = "the offscreen context has no framebuffer objects";
        return false;
    }
    const bool built = createPrograms();
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return built;
}

bool OffscreenRenderer::State::createPrograms()
{
    std::string log;
    meshProgram = buildProgram(shaders::meshVertex, shaders::meshFragment, true, log);
    if (meshProgram)
        tubeProgram = buildProgram(shaders::tubeVertex, shaders::tubeFragment, false, log);
    if (!meshProgram || !tubeProgram) {
        failure = "the offscreen programs could not be built: " + log;
        return false;
    }
    return true;
}

void OffscreenRenderer::State::destroy()
{
    if (display == EGL_NO_DISPLAY)
        return;
    if (context != EGL_NO_CONTEXT) {
        eglMakeCurrent(display, surface, surface, context);
        if (meshProgram)
            glDeleteProgram(meshProgram);
        if (tubeProgram)
            glDeleteProgram(tubeProgram);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    if (surface != EGL_NO_SURFACE)
        eglDestroySurface(display, surface);
    eglTerminate(display);
    // Frees this thread's EGL state too, so that nothing of the library
    // outlives the renderer.
    eglReleaseThread();
    display = EGL_NO_DISPLAY;
}

OffscreenRenderer::OffscreenRenderer() : state_(std::make_unique<State>()) {}

OffscreenRenderer::~OffscreenRenderer()
{
    state_->destroy();
}

bool OffscreenRenderer::ready(std::string& whyNot)
{
    if (!state_->tried) {
        state_->tried = true;
        if (!state_->create()) {
            state_->destroy();
            state_->meshProgram = state_->tubeProgram = 0;
            if (state_->failure.empty())
                state_->failure = "no offscreen OpenGL context";
        }
    }
    if (!state_->failure.empty()) {
        whyNot = state_->failure;
        return false;
    }
    return true;
}

namespace {

void setCornerAttributes()
{
    for (const CornerAttribute& a : kCornerAttributes) {
        glEnableVertexAttribArray(a.location);
        glVertexAttribPointer(a.location, a.size, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(kCornerBytes),
                              reinterpret_cast<const void*>(a.offset));
    }
}

void setMatrices(GLuint program, const SnapshotCamera& camera, const Mat4& modelView)
{
    glUniformMatrix4fv(glGetUniformLocation(program, "projMatrix"), 1, GL_FALSE, camera.projection.m.data());
    glUniformMatrix4fv(glGetUniformLocation(program, "mvMatrix"), 1, GL_FALSE, modelView.m.data());
}

void drawMesh(GLuint program, const SnapshotScene& scene, const Mat4& modelView)
{
    const std::vector<float>& corners = scene.mesh.smooth;
    if (!scene.hasMesh || corners.empty())
        return;
    GLuint vao = 0, vbo = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(corners.size() * sizeof(float)), corners.data(),
                 GL_STATIC_DRAW);
    setCornerAttributes();
    glUseProgram(program);
    setMatrices(program, scene.camera, modelView);
    const std::array<float, 9> normal = modelView.normalMatrix();
    glUniformMatrix3fv(glGetUniformLocation(program, "normalMatrix"), 1, GL_FALSE, normal.data());
    glUniform1f(glGetUniformLocation(program, "shadeFactor"), 1.0f);
    // Lit like the window's 3D view: faces seen from inside are lit too.
    glUniform1f(glGetUniformLocation(program, "twoSided"), 1.0f);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(corners.size() / kCornerFloats));
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
}

void drawTubes(GLuint program, const SnapshotScene& scene, const Mat4& modelView)
{
    const TriangleGeometry& g = scene.tubes;
    if (g.indices.empty())
        return;
    const std::vector<float> vertices(g.vertices.begin(), g.vertices.end());
    GLuint vao = 0, buffers[2] = {0, 0};
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)), vertices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(g.indices.size() * sizeof(uint32_t)),
                 g.indices.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(PositionLocation);
    glVertexAttribPointer(PositionLocation, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
    glUseProgram(program);
    setMatrices(program, scene.camera, modelView);
    glUniform1f(glGetUniformLocation(program, "alpha"), 1.0f);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(g.indices.size()), GL_UNSIGNED_INT, nullptr);
    glUseProgram(0);
    glBindVertexArray(0);
    glDeleteBuffers(2, buffers);
    glDeleteVertexArrays(1, &vao);
}

} // namespace

bool OffscreenRenderer::render(const SnapshotScene& scene, int width, int height, std::vector<uint8_t>& rgba,
                               std::string& whyNot)
{
    if (!ready(whyNot))
        return false;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        whyNot = "the 3D view has no usable size";
        return false;
    }
    State& s = *state_;
    if (!eglMakeCurrent(s.display, s.surface, s.surface, s.context)) {
        whyNot = "the offscreen context could not be made current";
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }

    GLuint fbo = 0, renderbuffers[2] = {0, 0};
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(2, renderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, renderbuffers[1]);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;

    if (complete) {
        glViewport(0, 0, width, height);
        glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const Mat4 modelView = scene.camera.modelView();
        drawMesh(s.meshProgram, scene, modelView);
        drawTubes(s.tubeProgram, scene, modelView);

        std::vector<uint8_t> bottomUp(size_t(width) * size_t(height) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
        const size_t row = size_t(width) * 4;
        rgba.resize(bottomUp.size());
        for (int y = 0; y < height; ++y)
            std::memcpy(rgba.data() + size_t(y) * row, bottomUp.data() + size_t(height - 1 - y) * row, row);
    }
    for (int i = 0; i < 64; ++i) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR)
            break;
        std::cout << "OpenGL Error: " << errorName(error) << std::endl;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteRenderbuffers(2, renderbuffers);
    glDeleteFramebuffers(1, &fbo);
    // Leave no context current: a window's own context may follow on this thread.
    eglMakeCurrent(s.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (!complete) {
        whyNot = "the offscreen framebuffer could not be set up";
        return false;
    }
    return true;
}

std::vector<uint8_t> overWindowBackground(const std::vector<uint8_t>& rgba)
{
    constexpr unsigned kBackground = 238;
    std::vector<uint8_t> rgb(rgba.size() / 4 * 3);
    for (size_t i = 0, j = 0; i + 3 < rgba.size(); i += 4, j += 3) {
        const unsigned a = rgba[i + 3];
        for (int c = 0; c < 3; ++c)
            rgb[j + c] = static_cast<uint8_t>((rgba[i + c] * a + kBackground * (255 - a) + 127) / 255);
    }
    return rgb;
}
