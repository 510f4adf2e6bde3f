#include "shared_gl_context.h"

#include <QCoreApplication>
#include <QOpenGLContext>

#include <stdexcept>

// Qt GUI's own hook for the context that Qt::AA_ShareOpenGLContexts makes at
// start. Qt GUI exports it, but only its private headers declare it, and
// building against those would tie the program to one exact Qt release; the
// two functions have kept this signature since Qt 5.
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

// Qt WebEngine renders through a context shared with every window. Setting
// Qt::AA_ShareOpenGLContexts before the application starts would make it at
// start-up and cost every start as much as the whole window; made here, only
// the first navigation pays.
void ensureSharedGLContext()
{
    if (qt_gl_global_share_context())
        return;
    auto *context = new QOpenGLContext(qApp);
    if (!context->create())
        throw std::runtime_error("The browser engine needs OpenGL, which is not available here.");
    qt_gl_set_global_share_context(context);
}
