#pragma once
// The 3D view of a height map: the all-in-focus picture draped over the heights (or coloured
// by height), turned with the mouse (drag), tilted (drag up and down), zoomed (wheel, + and -)
// and with the arrow keys; C switches the colours. Unknown heights are holes, not invented.
// A grid of at most 320 x 256 points, drawn with OpenGL (Mesa's software renderer will do).

#include "processing/HeightMap.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>

#include <memory>

class CHeightView : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT
public:
    explicit CHeightView(QWidget* parent = nullptr);
    ~CHeightView() override;

    void SetSurface(const HeightMap& map, const QImage& picture);
    void SetColourByHeight(bool byHeight);
    bool ColourByHeight() const { return byHeight_; }
    void Turn(float degrees);
    void Tilt(float degrees);
    void Zoom(float factor);
    float Turning() const { return yaw_; }
    // Frames drawn, and the milliseconds the last one took (the benchmark, the tests).
    int FramesDrawn() const { return frames_; }
    int Triangles() const { return indexCount_ / 3; }

    // A colour for a height between `low` and `high`: blue, green, yellow, red.
    static QRgb HeightColour(float height, float low, float high);

protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Upload();
    void DrawScale(QPainter& painter);

    HeightMap map_;
    QImage picture_;
    bool byHeight_ = false;
    bool dirty_ = false;
    float yaw_ = -30, pitch_ = 35, distance_ = 2.2f;
    QPoint lastMouse_;
    std::unique_ptr<QOpenGLShaderProgram> program_;
    QOpenGLBuffer vertices_{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer indices_{QOpenGLBuffer::IndexBuffer};
    int indexCount_ = 0;
    float heightSpan_ = 1; // the height range drawn, in the units of the width (0..1 across)
    int frames_ = 0;
};
