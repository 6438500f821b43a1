#include "ui/ModelRenderer.h"

#include "render/Shaders.h"

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QOpenGLVertexArrayObject>

#include <cmath>
#include <iostream>

namespace {

// glGetError can keep answering on a lost context; never loop forever.
constexpr int kMaxErrorsPerFrame = 64;

void setCornerAttributes(QOpenGLFunctions* f)
{
    for (const CornerAttribute& a : kCornerAttributes) {
        f->glEnableVertexAttribArray(a.location);
        f->glVertexAttribPointer(a.location, a.size, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(kCornerBytes),
                                 reinterpret_cast<const void*>(a.offset));
    }
}

void setPositionAttribute(QOpenGLFunctions* f)
{
    f->glEnableVertexAttribArray(PositionLocation);
    f->glVertexAttribPointer(PositionLocation, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
}

std::unique_ptr<QOpenGLShaderProgram> buildProgram(const char* name, const char* vertex, const char* fragment,
                                                   bool cornerAttributes)
{
    auto program = std::make_unique<QOpenGLShaderProgram>();
    bool ok = program->addShaderFromSourceCode(QOpenGLShader::Vertex, vertex) &&
              program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment);
    if (ok) {
        program->bindAttributeLocation("position", PositionLocation);
        if (cornerAttributes) {
            program->bindAttributeLocation("normal", NormalLocation);
            program->bindAttributeLocation("texcoord", TexcoordLocation);
            program->bindAttributeLocation("color", ColorLocation);
        }
        ok = program->link();
    }
    if (!ok) {
        std::cout << "OpenGL: the " << name << " program could not be built: "
                  << program->log().simplified().toStdString() << std::endl;
        return nullptr;
    }
    return program;
}

} // namespace

const char* openGLErrorName(unsigned int error)
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

struct ModelRenderer::MeshBuffer {
    QOpenGLVertexArrayObject vao;
    QOpenGLBuffer vbo{QOpenGLBuffer::VertexBuffer};
    size_t cornerCount = 0;
};

struct ModelRenderer::IndexedBuffer {
    QOpenGLVertexArrayObject vao;
    QOpenGLBuffer vbo{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer ibo{QOpenGLBuffer::IndexBuffer};
    size_t indexCount = 0;
};

ModelRenderer::ModelRenderer() = default;

ModelRenderer::~ModelRenderer() = default;

void ModelRenderer::initializeGL(QOpenGLFunctions* functions)
{
    // A widget that is re-parented gets a new context: start from scratch.
    releaseGL();
    functions_ = functions;
    functions_->glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    functions_->glEnable(GL_DEPTH_TEST);
    functions_->glDisable(GL_CULL_FACE);
    functions_->glEnable(GL_BLEND);
    functions_->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    functions_->glEnable(GL_POLYGON_OFFSET_FILL);
    functions_->glPolygonOffset(1.0f, 1.0f);

    flatMesh_ = std::make_unique<MeshBuffer>();
    smoothMesh_ = std::make_unique<MeshBuffer>();
    markers_ = std::make_unique<IndexedBuffer>();
    tubes_ = std::make_unique<IndexedBuffer>();
    for (MeshBuffer* m : {flatMesh_.get(), smoothMesh_.get()}) {
        m->vao.create();  // may fail without vertex array support: attributes are then set per draw
        m->vbo.create();
    }
    for (IndexedBuffer* b : {markers_.get(), tubes_.get()}) {
        b->vao.create();
        b->vbo.create();
        b->ibo.create();
    }
    // Whatever arrived before the context existed is uploaded at the first paint.
    meshDirty_ = hasMesh_;
    markersDirty_ = true;
    tubesDirty_ = true;
}

void ModelRenderer::releaseGL()
{
    surfaceTexture_.reset();
    textureDirty_ = !surfaceImage_.isNull();
    meshProgram_.reset();
    markerProgram_.reset();
    tubeProgram_.reset();
    flatMesh_.reset();
    smoothMesh_.reset();
    markers_.reset();
    tubes_.reset();
    programsCreated_ = false;
    functions_ = nullptr;
}

void ModelRenderer::setMeshBuffers(CornerBuffers buffers)
{
    pendingMesh_ = std::move(buffers);
    meshDirty_ = true;
    hasMesh_ = true;
}

void ModelRenderer::setConeMarkers(const TriangleGeometry& geometry)
{
    pendingMarkers_ = geometry;
    markersDirty_ = true;
}

void ModelRenderer::setEdgeTubes(const TriangleGeometry& geometry)
{
    pendingTubes_ = geometry;
    tubesDirty_ = true;
}

void ModelRenderer::setSurfaceTexture(const QImage& image, const QVector4D& uvTransform)
{
    surfaceImage_ = image;
    uvTransform_ = uvTransform;
    textureDirty_ = true;
}

void ModelRenderer::uploadPending()
{
    QOpenGLFunctions* f = functions_;
    if (textureDirty_) {
        surfaceTexture_.reset();
        if (!surfaceImage_.isNull()) {
            // Image rows run downwards, texture rows upwards.
            surfaceTexture_ = std::make_unique<QOpenGLTexture>(surfaceImage_.mirrored());
            surfaceTexture_->setMinificationFilter(QOpenGLTexture::LinearMipMapLinear);
            surfaceTexture_->setMagnificationFilter(QOpenGLTexture::Linear);
            surfaceTexture_->setWrapMode(QOpenGLTexture::ClampToEdge);
        }
        textureDirty_ = false;
    }
    if (meshDirty_) {
        const std::vector<float>* sources[2] = {&pendingMesh_.flat, &pendingMesh_.smooth};
        MeshBuffer* targets[2] = {flatMesh_.get(), smoothMesh_.get()};
        for (int i = 0; i < 2; ++i) {
            MeshBuffer& m = *targets[i];
            const std::vector<float>& data = *sources[i];
            if (m.vao.isCreated())
                m.vao.bind();
            m.vbo.bind();
            m.vbo.allocate(data.data(), static_cast<int>(data.size() * sizeof(float)));
            if (m.vao.isCreated()) {
                setCornerAttributes(f);
                m.vao.release();
            }
            m.vbo.release();
            m.cornerCount = data.size() / kCornerFloats;
        }
        meshDirty_ = false;
    }
    const struct {
        bool* dirty;
        const TriangleGeometry* geometry;
        IndexedBuffer* target;
    } overlays[] = {{&markersDirty_, &pendingMarkers_, markers_.get()}, {&tubesDirty_, &pendingTubes_, tubes_.get()}};
    for (const auto& o : overlays) {
        if (!*o.dirty)
            continue;
        IndexedBuffer& b = *o.target;
        const std::vector<float> vertices(o.geometry->vertices.begin(), o.geometry->vertices.end());
        if (b.vao.isCreated())
            b.vao.bind();
        b.vbo.bind();
        b.vbo.allocate(vertices.data(), static_cast<int>(vertices.size() * sizeof(float)));
        b.ibo.bind();
        b.ibo.allocate(o.geometry->indices.data(), static_cast<int>(o.geometry->indices.size() * sizeof(uint32_t)));
        if (b.vao.isCreated()) {
            setPositionAttribute(f);
            b.vao.release();
        }
        b.vbo.release();
        b.ibo.release();
        b.indexCount = o.geometry->indices.size();
        *o.dirty = false;
    }
}

void ModelRenderer::createPrograms()
{
    meshProgram_ = buildProgram("mesh", shaders::meshVertex, shaders::meshFragment, true);
    markerProgram_ = buildProgram("marker", shaders::markerVertex, shaders::markerFragment, false);
    tubeProgram_ = buildProgram("tube", shaders::tubeVertex, shaders::tubeFragment, false);
    if (meshProgram_) {
        const char* names[5] = {"projMatrix", "mvMatrix", "normalMatrix", "shadeFactor", "twoSided"};
        for (int i = 0; i < 5; ++i)
            meshUniforms_[i] = meshProgram_->uniformLocation(names[i]);
    }
    const char* overlayNames[3] = {"projMatrix", "mvMatrix", "alpha"};
    for (int i = 0; i < 3; ++i) {
        markerUniforms_[i] = markerProgram_ ? markerProgram_->uniformLocation(overlayNames[i]) : -1;
        tubeUniforms_[i] = tubeProgram_ ? tubeProgram_->uniformLocation(overlayNames[i]) : -1;
    }
    programsCreated_ = true;
}

void ModelRenderer::paint(int shadingMode, bool showConeMarkers, bool showEdgeTubes)
{
    if (!functions_)
        return;
    if (!programsCreated_)
        createPrograms();
    uploadPending();

    functions_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawMesh(shadingMode);
    if (showConeMarkers)
        drawIndexed(*markers_, markerProgram_.get(), markerUniforms_);
    if (showEdgeTubes)
        drawIndexed(*tubes_, tubeProgram_.get(), tubeUniforms_);
    reportErrors();
}

void ModelRenderer::drawMesh(int shadingMode)
{
    MeshBuffer& m = shadingMode == 1 ? *smoothMesh_ : *flatMesh_;
    if (!meshProgram_ || m.cornerCount == 0)
        return;
    const QMatrix4x4 modelView = modelViewMatrix();
    meshProgram_->bind();
    meshProgram_->setUniformValue(meshUniforms_[0], projection);
    meshProgram_->setUniformValue(meshUniforms_[1], modelView);
    meshProgram_->setUniformValue(meshUniforms_[2], modelView.normalMatrix());
    meshProgram_->setUniformValue(meshUniforms_[3], shadingMode == 2 ? 0.0f : 1.0f);
    const bool textured = textureShown_ && surfaceTexture_ && surfaceTexture_->isCreated();
    meshProgram_->setUniformValue("textureMix", textured ? 1.0f : 0.0f);
    if (textured) {
        surfaceTexture_->bind(0);
        meshProgram_->setUniformValue("surfaceTexture", 0);
        meshProgram_->setUniformValue("uvTransform", uvTransform_);
    }
    // Faces seen from inside get the side lights too, and a little ambient.
    meshProgram_->setUniformValue(meshUniforms_[4], 1.0f);
    if (m.vao.isCreated()) {
        m.vao.bind();
    } else {
        m.vbo.bind();
        setCornerAttributes(functions_);
    }
    functions_->glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m.cornerCount));
    if (m.vao.isCreated()) {
        m.vao.release();
    } else {
        for (GLuint location : {PositionLocation, NormalLocation, TexcoordLocation, ColorLocation})
            functions_->glDisableVertexAttribArray(location);
        m.vbo.release();
    }
    if (textured)
        surfaceTexture_->release(0);
    meshProgram_->release();
}

void ModelRenderer::drawIndexed(IndexedBuffer& b, QOpenGLShaderProgram* program, const int* locations)
{
    if (!program || b.indexCount == 0)
        return;
    program->bind();
    program->setUniformValue(locations[0], projection);
    program->setUniformValue(locations[1], modelViewMatrix());
    program->setUniformValue(locations[2], 1.0f);
    if (b.vao.isCreated()) {
        b.vao.bind();
    } else {
        b.vbo.bind();
        b.ibo.bind();
        setPositionAttribute(functions_);
    }
    functions_->glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(b.indexCount), GL_UNSIGNED_INT, nullptr);
    if (b.vao.isCreated()) {
        b.vao.release();
    } else {
        functions_->glDisableVertexAttribArray(PositionLocation);
        b.ibo.release();
        b.vbo.release();
    }
    program->release();
}

void ModelRenderer::reportErrors()
{
    for (int i = 0; i < kMaxErrorsPerFrame; ++i) {
        const GLenum error = functions_->glGetError();
        if (error == GL_NO_ERROR)
            break;
        std::cout << "OpenGL Error: " << openGLErrorName(error) << std::endl;
    }
}

void ModelRenderer::setViewportSize(int width, int height)
{
    viewportWidth_ = width;
    viewportHeight_ = height;
}

void ModelRenderer::setProjection(float navigationUnit)
{
    const float aspect = (viewportWidth_ > 0 && viewportHeight_ > 0)
                             ? static_cast<float>(viewportWidth_) / static_cast<float>(viewportHeight_)
                             : 1.0f;
    projection.setToIdentity();
    projection.perspective(20.0f, aspect, 0.01f * navigationUnit, 100.0f * navigationUnit);
}

QMatrix4x4 ModelRenderer::modelViewMatrix() const
{
    QMatrix4x4 m = view;
    m.translate(pivot);
    m *= rotation;
    m.translate(-pivot);
    return m;
}

void ModelRenderer::writeView(std::ostream& out) const
{
    for (const QMatrix4x4* m : {&view, &rotation})
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < 4; ++col)
                out << (*m)(row, col) << ' ';
}

bool ModelRenderer::readView(std::istream& in)
{
    float values[32];
    for (float& v : values) {
        if (!(in >> v) || !std::isfinite(v))
            return false;
    }
    view = QMatrix4x4(values);        // row-major
    rotation = QMatrix4x4(values + 16);
    return true;
}
