#pragma once

// Makes the OpenGL context Qt WebEngine shares with every window, unless one
// exists. Throws std::runtime_error when OpenGL is not available.
void ensureSharedGLContext();
