#pragma once
// Picks the Qt Quick renderer: software where OpenGL is 2.x or older, or cannot be had at all.
// Runs after the application object exists (an offscreen surface needs one), so it switches
// the scene-graph backend, which Qt honours late, and no application attribute.

#include <memory>

class QOffscreenSurface;
class QOpenGLContext;

class OpenGLProbe {
public:
    OpenGLProbe();
    ~OpenGLProbe();

    // Probes the driver, logs what it found and switches to software rendering when needed.
    void run();
    int majorVersion() const { return m_major; }
    int minorVersion() const { return m_minor; }
    bool usedSoftware() const { return m_software; }

    // The rule on its own: hardware rendering needs OpenGL 3 or newer.
    static bool needsSoftware(int majorVersion) { return majorVersion <= 2; }

private:
    void chooseSoftware();

    std::unique_ptr<QOffscreenSurface> m_surface;
    std::unique_ptr<QOpenGLContext> m_context;
    int m_major = 0;
    int m_minor = 0;
    bool m_software = false;
};
