#include "openglprobe.h"

#include <QDebug>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>

namespace {
constexpr unsigned kGlMajorVersion = 0x821B;
constexpr unsigned kGlMinorVersion = 0x821C;
} // namespace

OpenGLProbe::OpenGLProbe() = default;

OpenGLProbe::~OpenGLProbe()
{
    m_context.reset();
    m_surface.reset();
}

void OpenGLProbe::run()
{
    m_surface = std::make_unique<QOffscreenSurface>();
    m_surface->create();
    m_context = std::make_unique<QOpenGLContext>();
    if (!m_surface->isValid() || !m_context->create() || !m_context->makeCurrent(m_surface.get())) {
        // No usable OpenGL at all (remote desktop, headless, broken driver).
        qDebug() << "OpenGL Version Info:"
                 << "no OpenGL context could be made current";
        chooseSoftware();
        qDebug() << "setAttribute";
        return;
    }
    QOpenGLFunctions* gl = m_context->functions();
    const auto* version = reinterpret_cast<const char*>(gl->glGetString(GL_VERSION));
    gl->glGetIntegerv(kGlMajorVersion, &m_major);
    gl->glGetIntegerv(kGlMinorVersion, &m_minor);
    qDebug() << "OpenGL Version Info:" << (version ? version : "");
    qDebug() << "OpenGL Version Major:" << m_major << "OpenGL Version Minor:" << m_minor;
    if (needsSoftware(m_major))
        chooseSoftware();
    m_context->doneCurrent();
    qDebug() << "setAttribute";
}

void OpenGLProbe::chooseSoftware()
{
    qDebug() << "sceneGraphBackend:" << QQuickWindow::sceneGraphBackend();
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    qDebug() << "sceneGraphBackend:" << QQuickWindow::sceneGraphBackend();
    // The software scene graph takes effect here, after the application object exists; the
    // AA_UseSoftwareOpenGL attribute would not (Qt reads it only before), so it is not set.
    m_software = true;
}
