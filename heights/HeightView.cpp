#include "heights/HeightView.h"

#include "framework/LangText.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kLargestColumns = 320;
constexpr int kLargestRows = 256;

const char* kVertexShader = R"(
attribute vec3 position;
attribute vec3 colour;
uniform mat4 transform;
varying vec3 shade;
void main() {
    shade = colour;
    gl_Position = transform * vec4(position, 1.0);
})";

const char* kFragmentShader = R"(
varying vec3 shade;
void main() {
    gl_FragColor = vec4(shade, 1.0);
})";

} // namespace

CHeightView::CHeightView(QWidget* parent) : QOpenGLWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 256);
}

CHeightView::~CHeightView()
{
    makeCurrent();
    vertices_.destroy();
    indices_.destroy();
    program_.reset();
    doneCurrent();
}

QRgb CHeightView::HeightColour(float height, float low, float high)
{
    const float t = std::clamp(high > low ? (height - low) / (high - low) : 0.5f, 0.0f, 1.0f);
    // Blue (low) through cyan, green and yellow to red (high).
    const float r = std::clamp(2 * t - 0.5f, 0.0f, 1.0f) * 255,
                g = std::clamp(2 - std::abs(4 * t - 2), 0.0f, 1.0f) * 255,
                b = std::clamp(1.5f - 2 * t, 0.0f, 1.0f) * 255;
    return qRgb(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
}

void CHeightView::SetSurface(const HeightMap& map, const QImage& picture)
{
    map_ = map;
    picture_ =
        picture.size() == QSize(map.width, map.height) ? picture.convertToFormat(QImage::Format_RGB32) : QImage();
    dirty_ = true;
    update();
}

void CHeightView::SetColourByHeight(bool byHeight)
{
    byHeight_ = byHeight;
    dirty_ = true;
    update();
}

void CHeightView::Turn(float degrees)
{
    yaw_ = std::fmod(yaw_ + degrees, 360.0f);
    update();
}

void CHeightView::Tilt(float degrees)
{
    pitch_ = std::clamp(pitch_ + degrees, 5.0f, 89.0f);
    update();
}

void CHeightView::Zoom(float factor)
{
    distance_ = std::clamp(distance_ / factor, 0.6f, 8.0f);
    update();
}

void CHeightView::initializeGL()
{
    initializeOpenGLFunctions();
    program_ = std::make_unique<QOpenGLShaderProgram>();
    program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader);
    program_->bindAttributeLocation("position", 0);
    program_->bindAttributeLocation("colour", 1);
    program_->link();
    vertices_.create();
    indices_.create();
    dirty_ = true;
}

void CHeightView::Upload()
{
    dirty_ = false;
    indexCount_ = 0;
    if (map_.Empty()) return;
    // A grid over the picture, its width 1 across; heights in the same units (µm over µm a
    // pixel), else stretched to a fifth of the width so the relief shows.
    const int step = std::max(
        {1, (map_.width + kLargestColumns - 1) / kLargestColumns, (map_.height + kLargestRows - 1) / kLargestRows});
    const int columns = (map_.width - 1) / step + 1, rows = (map_.height - 1) / step + 1;
    const auto [low, high] = map_.Range();
    const float across = map_.micrometresPerPixel > 0 ? static_cast<float>(map_.micrometresPerPixel) : 0;
    const float unit = 1.0f / static_cast<float>(map_.width);
    const float heightUnit = across > 0 ? unit / across : (high > low ? 0.2f / (high - low) : 0);
    heightSpan_ = (high - low) * heightUnit;
    std::vector<float> data;
    data.reserve(static_cast<std::size_t>(columns) * rows * 6);
    std::vector<int> vertexOf(static_cast<std::size_t>(columns) * rows, -1);
    int count = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const int x = c * step, y = r * step;
            if (!map_.Known(x, y)) continue;
            vertexOf[static_cast<std::size_t>(r) * columns + c] = count++;
            const QRgb colour =
                byHeight_ || picture_.isNull() ? HeightColour(map_.At(x, y), low, high) : picture_.pixel(x, y);
            data.insert(data.end(), {(x - map_.width / 2.0f) * unit, (map_.height / 2.0f - y) * unit,
                                     (map_.At(x, y) - low) * heightUnit, qRed(colour) / 255.0f, qGreen(colour) / 255.0f,
                                     qBlue(colour) / 255.0f});
        }
    std::vector<GLuint> index;
    auto at = [&](int c, int r) { return vertexOf[static_cast<std::size_t>(r) * columns + c]; };
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c) {
            const int a = at(c, r), b = at(c + 1, r), d = at(c, r + 1), e = at(c + 1, r + 1);
            if (a >= 0 && b >= 0 && d >= 0) index.insert(index.end(), {GLuint(a), GLuint(d), GLuint(b)});
            if (b >= 0 && d >= 0 && e >= 0) index.insert(index.end(), {GLuint(b), GLuint(d), GLuint(e)});
        }
    vertices_.bind();
    vertices_.allocate(data.data(), static_cast<int>(data.size() * sizeof(float)));
    indices_.bind();
    indices_.allocate(index.data(), static_cast<int>(index.size() * sizeof(GLuint)));
    indexCount_ = static_cast<int>(index.size());
}

void CHeightView::paintGL()
{
    if (dirty_) Upload();
    glClearColor(0.12f, 0.13f, 0.15f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (indexCount_ > 0 && program_ && program_->isLinked()) {
        glEnable(GL_DEPTH_TEST);
        QMatrix4x4 transform;
        transform.perspective(35, static_cast<float>(width()) / std::max(1, height()), 0.05f, 50);
        transform.translate(0, 0, -distance_);
        transform.rotate(-pitch_, 1, 0, 0);
        transform.rotate(yaw_, 0, 0, 1);
        transform.translate(0, 0, -heightSpan_ / 2);
        program_->bind();
        program_->setUniformValue("transform", transform);
        vertices_.bind();
        indices_.bind();
        program_->enableAttributeArray(0);
        program_->enableAttributeArray(1);
        program_->setAttributeBuffer(0, GL_FLOAT, 0, 3, 6 * sizeof(float));
        program_->setAttributeBuffer(1, GL_FLOAT, 3 * sizeof(float), 3, 6 * sizeof(float));
        glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_INT, nullptr);
        program_->disableAttributeArray(0);
        program_->disableAttributeArray(1);
        program_->release();
        glDisable(GL_DEPTH_TEST);
    }
    QPainter painter(this);
    DrawScale(painter);
    ++frames_;
}

void CHeightView::DrawScale(QPainter& painter)
{
    if (map_.Empty()) return;
    const auto [low, high] = map_.Range();
    // A height scale at the right: the colours when coloured by height, the range always.
    const QRect bar(width() - 34, 30, 14, std::max(40, height() - 90));
    if (byHeight_)
        for (int y = 0; y < bar.height(); ++y) {
            painter.setPen(QColor(HeightColour(high - (high - low) * y / bar.height(), low, high)));
            painter.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
        }
    painter.setPen(Qt::white);
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    const QString unit = QStringLiteral(" \u00b5m");
    painter.drawText(QRect(0, 8, width() - 8, 20), Qt::AlignRight, QString::number(high - low, 'f', 0) + unit);
    painter.drawText(QRect(0, bar.bottom() + 4, width() - 8, 20), Qt::AlignRight, QStringLiteral("0") + unit);
    if (map_.nominal)
        painter.drawText(QRect(8, height() - 24, width() - 16, 20), Qt::AlignLeft,
                         LangText("HeightsNominal", 64, "nominal heights: no height calibration"));
}

void CHeightView::mousePressEvent(QMouseEvent* event)
{
    lastMouse_ = event->position().toPoint();
}

void CHeightView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) return;
    const QPoint d = event->position().toPoint() - lastMouse_;
    lastMouse_ = event->position().toPoint();
    yaw_ = std::fmod(yaw_ + d.x() * 0.5f, 360.0f);
    pitch_ = std::clamp(pitch_ - d.y() * 0.5f, 5.0f, 89.0f);
    update();
}

void CHeightView::wheelEvent(QWheelEvent* event)
{
    Zoom(event->angleDelta().y() > 0 ? 1.1f : 1 / 1.1f);
}

void CHeightView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left: Turn(-5); break;
    case Qt::Key_Right: Turn(5); break;
    case Qt::Key_Up: Tilt(5); break;
    case Qt::Key_Down: Tilt(-5); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: Zoom(1.1f); break;
    case Qt::Key_Minus: Zoom(1 / 1.1f); break;
    case Qt::Key_C: SetColourByHeight(!byHeight_); break;
    default: QOpenGLWidget::keyPressEvent(event);
    }
}
